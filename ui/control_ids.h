// Control identifiers of the program's windows. The end-to-end tests find
// controls through these, so they are part of the windows' outside view.
#pragma once

namespace tessaline::ids {

// Main window, caption "Tessaline".
namespace main_window {
inline constexpr int 图片框1 = 101;
inline constexpr int 分组框2 = 102;
inline constexpr int 超级列表框1 = 103;
inline constexpr int 按钮_连接服务器 = 104;
inline constexpr int 按钮_添加服务器 = 105;
inline constexpr int 按钮_删除服务器 = 106;
inline constexpr int 按钮_设置服务器 = 107;
inline constexpr int 按钮_启动密码 = 108;
inline constexpr int 分组框4 = 109;
inline constexpr int 编辑框_备注 = 110;
inline constexpr int 分组框1 = 111;
inline constexpr int 选择框_onsole = 112;
inline constexpr int 选择框_admin = 113;
inline constexpr int 分组框3 = 114;
inline constexpr int 单选框800600 = 115;
inline constexpr int 单选框1024768 = 116;
inline constexpr int 分组框5 = 117;
inline constexpr int 标签1 = 118;
} // namespace main_window

// Authentication window, caption "身份验证 (Authentication)".
namespace authentication_window {
inline constexpr int 图片框1 = 201;
inline constexpr int 标签1 = 202;
inline constexpr int 编辑框1 = 203;
inline constexpr int 按钮1 = 204;
inline constexpr int 按钮2 = 205;
} // namespace authentication_window

// Start-up password window, caption "启动密码设置(Set LoginPass)".
namespace startup_password_window {
inline constexpr int 图片框1 = 301;
inline constexpr int 标签1 = 302;
inline constexpr int 编辑框1 = 303;
inline constexpr int 标签2 = 304;
inline constexpr int 编辑框2 = 305;
inline constexpr int 按钮1 = 306;
inline constexpr int 按钮2 = 307;
} // namespace startup_password_window

// Server editor window, caption "添加服务器列表" or "修改服务器列表".
namespace server_editor_window {
inline constexpr int 分组框1 = 401;
inline constexpr int 标签1 = 402;
inline constexpr int 编辑框_域名 = 403;
inline constexpr int 标签2 = 404;
inline constexpr int 编辑框_端口 = 405;
inline constexpr int 标签3 = 406;
inline constexpr int 编辑框_账号 = 407;
inline constexpr int 标签4 = 408;
inline constexpr int 编辑框_密码 = 409;
inline constexpr int 标签5 = 410;
inline constexpr int 编辑框_备注 = 411;
inline constexpr int 按钮1 = 412;
inline constexpr int 按钮2 = 413;
} // namespace server_editor_window

} // namespace tessaline::ids
