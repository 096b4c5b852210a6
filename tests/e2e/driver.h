// End-to-end driver: starts Tessaline.exe in a folder of its own and works its
// windows from outside, the way a user would, through messages to the windows
// of another process.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// How long the driver waits for the program by default.
inline constexpr Millis defaultTimeout = 10s;

// ---- Text ----------------------------------------------------------------

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);
// Code page 936 bytes from UTF-8 text and back (the program's data model).
std::string utf8To936(std::string_view utf8);
std::string cp936ToUtf8(std::string_view bytes);
// Bytes shown as a C-like literal ("a\x0d\x0a") for failure messages.
std::string printable(std::string_view bytes);

// ---- Paths and environment ---------------------------------------------

// A unix path as Wine sees it: "Z:" and every "/" turned into "\".
std::wstring windowsPathFromUnix(std::string_view unixPath);
// An environment variable (empty when unset).
std::wstring environmentVariable(const wchar_t* name);
// The Tessaline.exe under test: TESSALINE_EXE, a unix or Windows path.
std::wstring programUnderTest();
// Root of the driver's scratch folders: TESSALINE_E2E_ROOT, or the temp folder.
std::wstring scratchRoot();
// Folder for screenshots: TESSALINE_E2E_SHOTS, or scratchRoot()\shots.
std::wstring screenshotFolder();

bool fileExists(const std::wstring& path);
std::optional<std::string> readFileBytes(const std::wstring& path);
bool writeFileBytes(const std::wstring& path, std::string_view bytes);
// Removes a folder and everything in it.
void removeTree(const std::wstring& path);

// ---- Polling ---------------------------------------------------------------

// Calls `done` until it returns true or the time is up; true when it did.
bool waitUntil(const std::function<bool()>& done, Millis timeout = defaultTimeout, Millis interval = 20ms);

// ---- A test folder ----------------------------------------------------------

// A fresh, uniquely named folder with a copy of the program in it. Removed
// when the object goes away, unless keep() was called (to look at it after a
// failure) or TESSALINE_E2E_KEEP is set.
class TestFolder {
public:
    // `tag` becomes part of the folder's name; `chineseName` adds Chinese
    // characters to it, so that the path is not ASCII.
    explicit TestFolder(std::wstring_view tag, bool chineseName = false);
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(std::wstring_view name) const;
    std::wstring programPath() const { return file(L"Tessaline.exe"); }
    std::wstring configPath() const { return file(L"ms.ini"); }

    // Copies TESSALINE_EXE (or another program) in as Tessaline.exe.
    bool copyProgram();
    bool copyProgramFrom(const std::wstring& source);

    // "ms.ini": from plain text in code page 936 (enciphered with the
    // program's key), or raw bytes as they are.
    bool writeConfigPlain(std::string_view plain936);
    bool writeConfigRaw(std::string_view bytes);
    std::optional<std::string> readConfigRaw() const;
    std::optional<std::string> readConfigPlain() const;
    bool removeConfig();

    // Names of the files and folders in it, sorted.
    std::vector<std::wstring> list() const;
    std::string listUtf8() const;

    void keep() { keep_ = true; }

private:
    std::wstring path_;
    bool keep_ = false;
};

// ---- A program process ----------------------------------------------------

class Process {
public:
    Process() = default;
    ~Process();  // kills the process if it still runs
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `exe` with `currentDir` as its current directory (empty: the
    // driver's own). The error is GetLastError's value when it fails.
    static Process start(const std::wstring& exe, const std::wstring& currentDir = {},
                         const std::wstring& arguments = {});

    bool started() const { return process_ != nullptr; }
    DWORD startError() const { return startError_; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }
    bool running() const;
    // The exit code, or nothing when the process is still running after `timeout`.
    std::optional<DWORD> waitExit(Millis timeout = defaultTimeout);
    void kill();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD startError_ = 0;
};

// ---- Windows of another process ----------------------------------------------

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : hwnd_(hwnd) {}

    HWND hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr && IsWindow(hwnd_); }
    bool exists() const { return static_cast<bool>(*this); }

    Window child(int controlId) const;  // GetDlgItem
    std::vector<Window> children() const;
    DWORD processId() const;
    DWORD threadId() const;
    std::wstring className() const;

    std::wstring text() const;  // WM_GETTEXT
    std::string textUtf8() const { return narrow(text()); }
    void setText(std::wstring_view text) const;  // WM_SETTEXT
    void setTextUtf8(std::string_view text) const { setText(widen(text)); }
    int textLimit() const;  // EM_GETLIMITTEXT
    wchar_t passwordChar() const;  // EM_GETPASSWORDCHAR, 0 when not masked

    // BM_CLICK, posted: a modal window that the click opens does not block the driver.
    void click() const;
    int checkState() const;  // BM_GETCHECK
    bool checked() const { return checkState() == BST_CHECKED; }

    bool enabled() const;
    bool visible() const;
    LONG_PTR style() const;
    LONG_PTR exStyle() const;
    bool hasStyle(LONG_PTR bits) const { return (style() & bits) == bits; }
    bool hasExStyle(LONG_PTR bits) const { return (exStyle() & bits) == bits; }
    HWND owner() const;  // GW_OWNER
    bool isDefaultButton() const;  // BS_DEFPUSHBUTTON

    RECT screenRect() const;  // GetWindowRect
    SIZE outerSize() const;
    SIZE clientSize() const;
    // Outer rectangle relative to the client area of `container`.
    RECT rectIn(const Window& container) const;
    // Centre of the window minus centre of the screen (the work area of its monitor).
    POINT offsetFromScreenCentre() const;

    // The control inside this window that has the keyboard focus of the
    // window's thread (GetGUIThreadInfo); the window itself when none does.
    Window focused() const;
    // Keys posted to the focused control of the window's thread.
    void pressKey(WORD virtualKey, bool alt = false) const;
    void pressEnter() const { pressKey(VK_RETURN); }
    void pressEsc() const { pressKey(VK_ESCAPE); }
    void pressTab() const { pressKey(VK_TAB); }
    void pressAltF4() const { pressKey(VK_F4, true); }
    // WM_CHAR for each character, posted to this window (use focused() for the
    // control that has the focus).
    void typeChars(std::wstring_view chars) const;
    // The same, sent: each character has been handled when this returns.
    void sendChars(std::wstring_view chars) const;
    // Close box (WM_SYSCOMMAND SC_CLOSE, posted).
    void pressCloseBox() const;
    // Posted mouse click at a client point.
    void clickAt(POINT client) const;

    std::string describe() const;  // class, caption, id, rectangle for messages

private:
    HWND hwnd_ = nullptr;
};

// Top-level windows of a process (visible ones, unless `includeHidden`).
std::vector<Window> topLevelWindows(DWORD processId, bool includeHidden = false);
std::string describeTopLevelWindows(DWORD processId);

// The first visible top-level window of the process with that caption (and class,
// when given).
Window findTopLevel(DWORD processId, std::wstring_view caption, std::wstring_view className = {});
Window waitTopLevel(DWORD processId, std::wstring_view caption, Millis timeout = defaultTimeout,
                    std::wstring_view className = {});
inline Window waitTopLevelUtf8(DWORD processId, std::string_view caption, Millis timeout = defaultTimeout) {
    return waitTopLevel(processId, widen(caption), timeout);
}
// Waits until the window is gone (destroyed or hidden).
bool waitGone(const Window& window, Millis timeout = defaultTimeout);

// ---- Message boxes ------------------------------------------------------------

enum class IconKind { none, error, warning, information, question, unknown };
const char* toString(IconKind kind);

struct MessageBoxInfo {
    Window window;
    std::wstring title;
    std::wstring text;
    IconKind icon = IconKind::none;
    std::vector<int> buttons;  // IDOK, IDCANCEL, IDYES, ... present and visible
    HWND owner = nullptr;

    std::string titleUtf8() const { return narrow(title); }
    std::string textUtf8() const { return narrow(text); }
    std::string describe() const;
    // Presses the button with that id (posted BM_CLICK).
    void answer(int buttonId) const;
};

// A top-level "#32770" window of the process with a message text (static 0xFFFF).
std::optional<MessageBoxInfo> findMessageBox(DWORD processId);
std::optional<MessageBoxInfo> waitMessageBox(DWORD processId, Millis timeout = defaultTimeout);
// Reads a message box window's parts.
MessageBoxInfo readMessageBox(const Window& box);

// ---- The list view of another process ---------------------------------------------

struct ListColumn {
    std::wstring title;
    int width = 0;
    int format = 0;  // LVCFMT_*
};

class RemoteListView {
public:
    explicit RemoteListView(Window list);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    bool valid() const { return memory_ != nullptr; }
    const Window& window() const { return list_; }

    int itemCount() const;
    int columnCount() const;
    std::vector<ListColumn> columns() const;
    std::wstring itemText(int item, int column) const;
    std::string itemTextUtf8(int item, int column) const { return narrow(itemText(item, column)); }
    std::vector<std::wstring> rowTexts(int item) const;  // every column
    std::vector<std::vector<std::string>> allRowsUtf8() const;
    LPARAM itemParam(int item) const;
    UINT itemState(int item, UINT mask = LVIS_SELECTED | LVIS_FOCUSED | LVIS_STATEIMAGEMASK) const;
    bool selected(int item) const { return (itemState(item, LVIS_SELECTED) & LVIS_SELECTED) != 0; }
    bool focusedItem(int item) const { return (itemState(item, LVIS_FOCUSED) & LVIS_FOCUSED) != 0; }
    int stateImageIndex(int item) const;  // 1-based index from LVIS_STATEIMAGEMASK, 0 for none
    int selectedCount() const;
    DWORD extendedStyle() const;
    RECT itemRect(int item, int code = LVIR_BOUNDS) const;

    // LVM_SETITEMSTATE: focuses and selects the row; the program sees its own LVN_ITEMCHANGED.
    bool focusAndSelect(int item) const;
    // Posted mouse clicks: on a row, and on empty space below the rows.
    void clickItem(int item) const;
    void clickEmptySpace() const;

private:
    // Copies `size` bytes into the buffer in the target, sends, reads them back.
    LRESULT sendWithBuffer(UINT message, WPARAM wParam, void* data, size_t size) const;

    Window list_;
    HANDLE process_ = nullptr;
    void* memory_ = nullptr;
    static constexpr size_t memorySize_ = 64 * 1024;
};

// ---- Screenshots ---------------------------------------------------------------

// Saves the window's screen rectangle (a null window: the whole virtual screen)
// as a 24-bit BMP named `name` + ".bmp" in screenshotFolder(). Returns the path,
// empty on failure.
std::wstring saveScreenshot(const Window& window, std::wstring_view name);
// The average colour of a window's pixels that differ from its corner pixel;
// used to tell message-box icons apart.
std::optional<COLORREF> dominantColour(const Window& window);

}  // namespace tessaline::e2e
