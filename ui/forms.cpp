// The window descriptions. Places are client-area pixels of the container:
// the window, or the group box named in the third column.
#include "ui/forms.h"

#include <commctrl.h>

#include "ui/control_ids.h"

namespace tessaline {
namespace {

using K = ControlKind;
using F = FontKind;

constexpr DWORD kThinSunken = WS_EX_STATICEDGE;
constexpr DWORD kOneLine = ES_AUTOHSCROLL;
constexpr DWORD kEditorLabel = SS_RIGHT | SS_CENTERIMAGE;

namespace m = ids::main_window;
const ControlSpec kMainControls[] = {
    {K::PictureBox, m::图片框1, 0, 4, 3, 465, 62, L"", 0, kThinSunken},
    {K::GroupBox, m::分组框2, 0, 4, 68, 465, 180, L"服务器控制", 0, 0},
    {K::ListView, m::超级列表框1, m::分组框2, 8, 12, 344, 160, L"",
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, kThinSunken, F::Song12},
    {K::DefaultButton, m::按钮_连接服务器, m::分组框2, 360, 12, 100, 30, L"连接(LinkSer)", WS_DISABLED, 0, F::SongBold12},
    {K::Button, m::按钮_添加服务器, m::分组框2, 360, 44, 100, 30, L"添加(Add)", 0, 0},
    {K::Button, m::按钮_删除服务器, m::分组框2, 360, 76, 100, 30, L"删除(Delete)", WS_DISABLED, 0},
    {K::Button, m::按钮_设置服务器, m::分组框2, 360, 108, 100, 30, L"修改(Edit)", 0, 0},
    {K::Button, m::按钮_启动密码, m::分组框2, 360, 141, 100, 30, L"启动密码(Pass)", 0, 0},
    {K::GroupBox, m::分组框4, 0, 5, 253, 352, 115, L"备注", 0, 0},
    {K::Edit, m::编辑框_备注, m::分组框4, 7, 14, 340, 93, L"", ES_MULTILINE | ES_READONLY, kThinSunken},
    {K::GroupBox, m::分组框1, 0, 366, 256, 103, 56, L"启动方式", 0, 0},
    {K::CheckBox, m::选择框_onsole, m::分组框1, 8, 16, 72, 16, L"console", WS_GROUP, 0},
    {K::CheckBox, m::选择框_admin, m::分组框1, 8, 35, 72, 16, L"admin", 0, 0},
    {K::GroupBox, m::分组框3, 0, 366, 312, 103, 56, L"分辨率", 0, 0},
    {K::RadioButton, m::单选框800600, m::分组框3, 8, 16, 88, 16, L" 800*600", WS_GROUP, 0},
    {K::RadioButton, m::单选框1024768, m::分组框3, 8, 32, 80, 16, L"1024*768", 0, 0},
    {K::GroupBox, m::分组框5, 0, 5, 367, 464, 33, L"", 0, 0},
    {K::Label, m::标签1, m::分组框5, 152, 12, 166, 14, L"Tessaline 远程桌面连接管理", WS_GROUP, 0},
};

namespace a = ids::authentication_window;
const ControlSpec kAuthenticationControls[] = {
    {K::PictureBox, a::图片框1, 0, 12, 20, 38, 38, L"", 0, 0},
    {K::Label, a::标签1, 0, 57, 7, 175, 16, L"请输入密码(Input Password):", 0, 0},
    {K::Edit, a::编辑框1, 0, 64, 26, 152, 24, L"", kOneLine | ES_PASSWORD, kThinSunken, F::SongBold16},
    {K::DefaultButton, a::按钮1, 0, 64, 59, 72, 24, L"确定(OK)", 0, 0},
    {K::Button, a::按钮2, 0, 144, 59, 72, 24, L"取消(NO)", 0, 0},
};

namespace p = ids::startup_password_window;
const ControlSpec kStartupPasswordControls[] = {
    {K::PictureBox, p::图片框1, 0, 16, 15, 40, 32, L"", 0, 0},
    {K::Label, p::标签1, 0, 64, 9, 56, 16, L"新的密码:", 0, 0},
    {K::Edit, p::编辑框1, 0, 120, 8, 152, 24, L"", kOneLine, kThinSunken},
    {K::Label, p::标签2, 0, 64, 36, 56, 16, L"重复密码:", 0, 0},
    {K::Edit, p::编辑框2, 0, 120, 33, 152, 24, L"", kOneLine, kThinSunken},
    {K::DefaultButton, p::按钮1, 0, 120, 65, 70, 26, L"确定(OK)", 0, 0},
    {K::Button, p::按钮2, 0, 205, 65, 70, 26, L"取消(NO)", 0, 0},
};

namespace e = ids::server_editor_window;
const ControlSpec kServerEditorControls[] = {
    {K::GroupBox, e::分组框1, 0, 4, 2, 248, 294, L"服务器信息", 0, 0},
    {K::Label, e::标签1, e::分组框1, 19, 24, 56, 24, L"IP/域名：", kEditorLabel, 0},
    {K::Edit, e::编辑框_域名, e::分组框1, 75, 24, 150, 24, L"127.0.0.1", kOneLine, kThinSunken},
    {K::Label, e::标签2, e::分组框1, 19, 56, 56, 24, L"端口：", kEditorLabel, 0},
    {K::Edit, e::编辑框_端口, e::分组框1, 75, 56, 64, 24, L"3389", kOneLine, kThinSunken},
    {K::Label, e::标签3, e::分组框1, 8, 88, 67, 24, L"登陆账号：", kEditorLabel, 0},
    {K::Edit, e::编辑框_账号, e::分组框1, 75, 88, 150, 24, L"Administrator", kOneLine, kThinSunken},
    {K::Label, e::标签4, e::分组框1, 8, 120, 67, 24, L"登陆密码：", kEditorLabel, 0},
    {K::Edit, e::编辑框_密码, e::分组框1, 75, 120, 150, 24, L"", kOneLine, kThinSunken},
    {K::Label, e::标签5, e::分组框1, 8, 152, 67, 24, L"备注：", kEditorLabel, 0},
    {K::Edit, e::编辑框_备注, e::分组框1, 75, 152, 150, 88, L"",
     ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, kThinSunken},
    // The commit captions are wider than the button: they wrap onto two lines.
    {K::DefaultButton, e::按钮1, e::分组框1, 16, 255, 100, 30, kEditorCommitAdd, BS_MULTILINE, 0},
    {K::Button, e::按钮2, e::分组框1, 136, 255, 100, 30, L"取 消\r\n(Close)", BS_MULTILINE, 0},
};

} // namespace

const FormSpec& mainWindowForm() {
    static const FormSpec form{L"Tessaline.MainWindow", L"Tessaline", 477, 434, kMainControls,
                               m::按钮_连接服务器};
    return form;
}

const FormSpec& authenticationWindowForm() {
    static const FormSpec form{L"Tessaline.AuthenticationWindow", L"身份验证 (Authentication)", 250, 123,
                               kAuthenticationControls, a::按钮1};
    return form;
}

const FormSpec& startupPasswordWindowForm() {
    static const FormSpec form{L"Tessaline.StartupPasswordWindow", L"启动密码设置(Set LoginPass)", 290,
                               130, kStartupPasswordControls, p::按钮1};
    return form;
}

const FormSpec& serverEditorWindowForm() {
    static const FormSpec form{L"Tessaline.ServerEditorWindow", kEditorCaptionAdd, 262, 331,
                               kServerEditorControls, e::按钮1};
    return form;
}

} // namespace tessaline
