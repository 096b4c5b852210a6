// End-to-end driver: folders, processes, windows, message boxes, the list view
// and screenshots of another process, seen from outside.
#include "tests/e2e/driver.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "store/config_cipher.h"
#include "store/config_format.h"

namespace tessaline::e2e {

namespace {

// Owns a Win32 handle that CloseHandle closes.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE h = nullptr) : h_(h) {}
    ~OwnedHandle() {
        if (valid()) CloseHandle(h_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A screen device context and the bitmap it is copied into.
class ScreenCapture {
public:
    ScreenCapture(const RECT& r)
        : width_(r.right - r.left), height_(r.bottom - r.top) {
        if (width_ <= 0 || height_ <= 0) return;
        screen_ = GetDC(nullptr);
        if (!screen_) return;
        memory_ = CreateCompatibleDC(screen_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!memory_ || !bitmap_) return;
        old_ = SelectObject(memory_, bitmap_);
        if (BitBlt(memory_, 0, 0, width_, height_, screen_, r.left, r.top, SRCCOPY | CAPTUREBLT)) {
            GdiFlush();
            pixels_ = static_cast<const std::uint32_t*>(bits);
        }
    }
    ~ScreenCapture() {
        if (old_) SelectObject(memory_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (memory_) DeleteDC(memory_);
        if (screen_) ReleaseDC(nullptr, screen_);
    }
    ScreenCapture(const ScreenCapture&) = delete;
    ScreenCapture& operator=(const ScreenCapture&) = delete;

    bool ok() const { return pixels_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    // 0x00RRGGBB
    std::uint32_t pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x] & 0xFFFFFF; }

private:
    int width_;
    int height_;
    HDC screen_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    const std::uint32_t* pixels_ = nullptr;
};

std::wstring convertToWide(std::string_view bytes, UINT codePage) {
    if (bytes.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return out;
}

std::string convertFromWide(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool isUnixPath(std::wstring_view path) { return !path.empty() && path.front() == L'/'; }

std::wstring asWindowsPath(const std::wstring& path) {
    return isUnixPath(path) ? windowsPathFromUnix(narrow(path)) : path;
}

bool ensureFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return true;
    // Make the parent first, then try again.
    const auto cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 3) return false;
    if (!ensureFolder(path.substr(0, cut))) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring trimSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

}  // namespace

// ---- Text ----------------------------------------------------------------

std::wstring widen(std::string_view utf8) { return convertToWide(utf8, CP_UTF8); }
std::string narrow(std::wstring_view wide) { return convertFromWide(wide, CP_UTF8); }
std::string utf8To936(std::string_view utf8) { return convertFromWide(widen(utf8), 936); }
std::string cp936ToUtf8(std::string_view bytes) { return narrow(convertToWide(bytes, 936)); }

std::string printable(std::string_view bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out + "\"";
}

// ---- Paths and environment ---------------------------------------------

std::wstring windowsPathFromUnix(std::string_view unixPath) {
    std::wstring path = L"Z:" + widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring environmentVariable(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(got);
    return value;
}

std::wstring programUnderTest() { return asWindowsPath(environmentVariable(L"TESSALINE_EXE")); }

std::wstring scratchRoot() {
    std::wstring root = environmentVariable(L"TESSALINE_E2E_ROOT");
    if (root.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        root = std::wstring(temp) + L"tessaline-e2e";
    }
    root = trimSlash(asWindowsPath(root));
    ensureFolder(root);
    return root;
}

std::wstring screenshotFolder() {
    std::wstring folder = environmentVariable(L"TESSALINE_E2E_SHOTS");
    folder = folder.empty() ? scratchRoot() + L"\\shots" : trimSlash(asWindowsPath(folder));
    ensureFolder(folder);
    return folder;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> readFileBytes(const std::wstring& path) {
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) return std::nullopt;
        done += got;
    }
    return bytes;
}

bool writeFileBytes(const std::wstring& path, std::string_view bytes) {
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        if (!WriteFile(file.get(), bytes.data() + done, want, &put, nullptr) || put == 0) return false;
        done += put;
    }
    return true;
}

void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// ---- Polling ---------------------------------------------------------------

bool waitUntil(const std::function<bool()>& done, Millis timeout, Millis interval) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return done();
        std::this_thread::sleep_for(interval);
    }
}

// ---- A test folder ----------------------------------------------------------

TestFolder::TestFolder(std::wstring_view tag, bool chineseName) {
    static std::atomic<unsigned> counter{0};
    const std::wstring root = scratchRoot();
    std::wstring name(tag);
    if (chineseName) name += L"-服务器 测试";
    name += L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"-" +
            std::to_wstring(GetTickCount() % 100000);
    path_ = root + L"\\" + name;
    removeTree(path_);
    ensureFolder(path_);
    if (!environmentVariable(L"TESSALINE_E2E_KEEP").empty()) keep_ = true;
}

TestFolder::~TestFolder() {
    if (!keep_) removeTree(path_);
}

std::wstring TestFolder::file(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

bool TestFolder::copyProgram() { return copyProgramFrom(programUnderTest()); }

bool TestFolder::copyProgramFrom(const std::wstring& source) {
    return !source.empty() && CopyFileW(asWindowsPath(source).c_str(), programPath().c_str(), FALSE) != 0;
}

bool TestFolder::writeConfigPlain(std::string_view plain936) {
    return writeConfigRaw(configCipher(plain936, configKey));
}

bool TestFolder::writeConfigRaw(std::string_view bytes) {
    SetFileAttributesW(configPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    return writeFileBytes(configPath(), bytes);
}

std::optional<std::string> TestFolder::readConfigRaw() const { return readFileBytes(configPath()); }

std::optional<std::string> TestFolder::readConfigPlain() const {
    auto raw = readConfigRaw();
    if (!raw) return std::nullopt;
    return configCipher(*raw, configKey);
}

bool TestFolder::removeConfig() {
    SetFileAttributesW(configPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(configPath().c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::vector<std::wstring> TestFolder::list() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string TestFolder::listUtf8() const {
    std::string out;
    for (const auto& name : list()) out += (out.empty() ? "" : ", ") + narrow(name);
    return "[" + out + "]";
}

// ---- A program process ----------------------------------------------------

Process::~Process() { kill(); }

Process::Process(Process&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), id_(other.id_), startError_(other.startError_) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        kill();
        process_ = std::exchange(other.process_, nullptr);
        id_ = other.id_;
        startError_ = other.startError_;
    }
    return *this;
}

Process Process::start(const std::wstring& exe, const std::wstring& currentDir, const std::wstring& arguments) {
    Process p;
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDir.empty() ? nullptr : currentDir.c_str(), &startup, &info)) {
        p.startError_ = GetLastError();
        return p;
    }
    CloseHandle(info.hThread);
    p.process_ = info.hProcess;
    p.id_ = info.dwProcessId;
    return p;
}

bool Process::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::waitExit(Millis timeout) {
    if (!process_) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
    return code;
}

void Process::kill() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

// ---- Windows of another process ----------------------------------------------

Window Window::child(int controlId) const { return Window(hwnd_ ? GetDlgItem(hwnd_, controlId) : nullptr); }

std::vector<Window> Window::children() const {
    std::vector<Window> out;
    EnumChildWindows(
        hwnd_,
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<Window>*>(p)->emplace_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

DWORD Window::processId() const {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd_, &pid);
    return pid;
}

DWORD Window::threadId() const { return GetWindowThreadProcessId(hwnd_, nullptr); }

std::wstring Window::className() const {
    wchar_t name[256] = {};
    GetClassNameW(hwnd_, name, 256);
    return name;
}

std::wstring Window::text() const {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             5000, &got))
        return {};
    text.resize(std::min<size_t>(got, text.size()));
    return text;
}

void Window::setText(std::wstring_view text) const {
    const std::wstring copy(text);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
}

int Window::textLimit() const { return static_cast<int>(SendMessageW(hwnd_, EM_GETLIMITTEXT, 0, 0)); }

wchar_t Window::passwordChar() const { return static_cast<wchar_t>(SendMessageW(hwnd_, EM_GETPASSWORDCHAR, 0, 0)); }

void Window::click() const { PostMessageW(hwnd_, BM_CLICK, 0, 0); }

int Window::checkState() const { return static_cast<int>(SendMessageW(hwnd_, BM_GETCHECK, 0, 0)); }

bool Window::enabled() const { return IsWindowEnabled(hwnd_) != 0; }
bool Window::visible() const { return IsWindowVisible(hwnd_) != 0; }
LONG_PTR Window::style() const { return GetWindowLongPtrW(hwnd_, GWL_STYLE); }
LONG_PTR Window::exStyle() const { return GetWindowLongPtrW(hwnd_, GWL_EXSTYLE); }
HWND Window::owner() const { return GetWindow(hwnd_, GW_OWNER); }
bool Window::isDefaultButton() const { return (style() & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

RECT Window::screenRect() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return r;
}

SIZE Window::outerSize() const {
    const RECT r = screenRect();
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE Window::clientSize() const {
    RECT r{};
    GetClientRect(hwnd_, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT Window::rectIn(const Window& container) const {
    RECT r = screenRect();
    MapWindowPoints(HWND_DESKTOP, container.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

POINT Window::offsetFromScreenCentre() const {
    const RECT r = screenRect();
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor)) area = monitor.rcWork;
    return POINT{(r.left + r.right) / 2 - (area.left + area.right) / 2,
                 (r.top + r.bottom) / 2 - (area.top + area.bottom) / 2};
}

Window Window::focused() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    // Only a control inside this window counts: just after a message box has
    // closed, the thread's focus may still be on the box's dying button.
    if (GetGUIThreadInfo(threadId(), &info) && info.hwndFocus && IsWindow(info.hwndFocus) &&
        GetAncestor(info.hwndFocus, GA_ROOT) == GetAncestor(hwnd_, GA_ROOT))
        return Window(info.hwndFocus);
    return *this;
}

void Window::pressKey(WORD virtualKey, bool alt) const {
    const HWND target = focused().hwnd();
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
    const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    const UINT downMessage = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT upMessage = alt ? WM_SYSKEYUP : WM_KEYUP;
    PostMessageW(target, downMessage, virtualKey, down);
    PostMessageW(target, upMessage, virtualKey, up);
}

void Window::typeChars(std::wstring_view chars) const {
    for (wchar_t c : chars) PostMessageW(hwnd_, WM_CHAR, c, 1);
}

void Window::sendChars(std::wstring_view chars) const {
    for (wchar_t c : chars) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd_, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, 5000, &result);
    }
}

void Window::pressCloseBox() const { PostMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0); }

void Window::clickAt(POINT client) const {
    const LPARAM at = MAKELPARAM(client.x, client.y);
    PostMessageW(hwnd_, WM_MOUSEMOVE, 0, at);
    PostMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd_, WM_LBUTTONUP, 0, at);
}

std::string Window::describe() const {
    if (!hwnd_) return "(no window)";
    if (!IsWindow(hwnd_)) return "(window gone)";
    const RECT r = screenRect();
    char buf[200];
    std::snprintf(buf, sizeof buf, " id=%d style=0x%08lx ex=0x%08lx rect=(%ld,%ld)-(%ld,%ld)%s%s",
                  static_cast<int>(GetDlgCtrlID(hwnd_)), static_cast<unsigned long>(style()),
                  static_cast<unsigned long>(exStyle()), r.left, r.top, r.right, r.bottom,
                  visible() ? "" : " hidden", enabled() ? "" : " disabled");
    std::string out = "[";
    out.append(narrow(className())).append(" \"").append(textUtf8()).append("\"").append(buf).append("]");
    return out;
}

std::vector<Window> topLevelWindows(DWORD processId, bool includeHidden) {
    struct Search {
        DWORD pid;
        bool hidden;
        std::vector<Window> found;
    } search{processId, includeHidden, {}};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == s->pid && (s->hidden || IsWindowVisible(h))) s->found.emplace_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string describeTopLevelWindows(DWORD processId) {
    std::string out;
    for (const auto& w : topLevelWindows(processId)) out += "\n  " + w.describe();
    return out.empty() ? "(no visible top-level window)" : out;
}

Window findTopLevel(DWORD processId, std::wstring_view caption, std::wstring_view className) {
    for (const auto& w : topLevelWindows(processId)) {
        if (w.text() == caption && (className.empty() || w.className() == className)) return w;
    }
    return Window();
}

Window waitTopLevel(DWORD processId, std::wstring_view caption, Millis timeout, std::wstring_view className) {
    Window found;
    waitUntil([&] { return static_cast<bool>(found = findTopLevel(processId, caption, className)); }, timeout);
    return found;
}

bool waitGone(const Window& window, Millis timeout) {
    return waitUntil([&] { return !window.exists() || !window.visible(); }, timeout);
}

// ---- Message boxes ------------------------------------------------------------

const char* toString(IconKind kind) {
    switch (kind) {
    case IconKind::none: return "none";
    case IconKind::error: return "error";
    case IconKind::warning: return "warning";
    case IconKind::information: return "information";
    case IconKind::question: return "question";
    case IconKind::unknown: return "unknown";
    }
    return "?";
}

namespace {

// The standard icons differ by colour: the stop sign is red, the warning
// triangle yellow, the information and question marks blue. The question mark
// is told from the information sign by neither here; both count as information
// unless the icon is mostly white-ish (unused).
IconKind iconKindFromColour(COLORREF c) {
    const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    if (r > g + 40 && r > b + 40 && g < 170) return IconKind::error;
    if (r > b + 60 && g > b + 60) return IconKind::warning;
    if (b > r + 30) return IconKind::information;
    return IconKind::unknown;
}

// True when every corner and the centre of the window show that window's
// top-level window, not another one lying over it.
bool fullyUncovered(const Window& w) {
    const RECT r = w.screenRect();
    const HWND root = GetAncestor(w.hwnd(), GA_ROOT);
    const POINT points[] = {{r.left, r.top},
                            {r.right - 1, r.top},
                            {r.left, r.bottom - 1},
                            {r.right - 1, r.bottom - 1},
                            {(r.left + r.right) / 2, (r.top + r.bottom) / 2}};
    for (const POINT& p : points) {
        const HWND at = WindowFromPoint(p);
        if (!at || GetAncestor(at, GA_ROOT) != root) return false;
    }
    return true;
}

// Raises the window once when others lie over it, then waits until none
// does. Raising only once keeps two drivers that run side by side on one
// desktop from taking turns to cover each other's windows for ever.
bool bringIntoView(const Window& w, Millis timeout) {
    if (fullyUncovered(w)) return true;
    SetWindowPos(GetAncestor(w.hwnd(), GA_ROOT), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return waitUntil([&] { return !w.exists() || fullyUncovered(w); }, timeout, 30ms);
}

// The kind of icon an icon static shows, read from the screen. Windows of
// other programs (tests running side by side share the desktop) may lie over
// it, the screen may lag behind a change of the window order, and the icon may
// not be painted yet: take the kind only when two readings of the uncovered
// icon in a row agree.
IconKind readIconKind(const Window& icon) {
    IconKind kind = IconKind::unknown;
    IconKind previous = IconKind::none;
    bringIntoView(icon, 2s);
    // Still covered: raise it again now and then, not in step with another driver.
    const Millis raiseEvery{400 + static_cast<int>(GetCurrentProcessId() % 7) * 50};
    auto lastRaise = std::chrono::steady_clock::now();
    waitUntil(
        [&] {
            if (!icon.exists()) return true;
            if (!fullyUncovered(icon)) {
                previous = IconKind::none;
                if (std::chrono::steady_clock::now() - lastRaise > raiseEvery) {
                    SetWindowPos(GetAncestor(icon.hwnd(), GA_ROOT), HWND_TOP, 0, 0, 0, 0,
                                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                    lastRaise = std::chrono::steady_clock::now();
                }
                return false;
            }
            const auto colour = dominantColour(icon);
            const IconKind now = colour ? iconKindFromColour(*colour) : IconKind::unknown;
            if (!fullyUncovered(icon)) {
                previous = IconKind::none;
                return false;
            }
            const bool settled = now == previous && now != IconKind::unknown;
            previous = now;
            kind = now;
            return settled;
        },
        10s, 60ms);
    return kind;
}

}  // namespace

MessageBoxInfo readMessageBox(const Window& box) {
    MessageBoxInfo info;
    info.window = box;
    info.title = box.text();
    info.text = box.child(0xFFFF).text();
    info.owner = box.owner();
    for (const auto& c : box.children()) {
        const std::wstring cls = c.className();
        if (_wcsicmp(cls.c_str(), L"Button") == 0 && c.visible()) {
            info.buttons.push_back(GetDlgCtrlID(c.hwnd()));
        } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (c.style() & SS_TYPEMASK) == SS_ICON) {
            if (!c.visible() || SendMessageW(c.hwnd(), STM_GETICON, 0, 0) == 0) continue;
            info.icon = readIconKind(c);
        }
    }
    std::sort(info.buttons.begin(), info.buttons.end());
    return info;
}

std::optional<MessageBoxInfo> findMessageBox(DWORD processId) {
    for (const auto& w : topLevelWindows(processId)) {
        if (w.className() == L"#32770" && w.child(0xFFFF)) return readMessageBox(w);
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> waitMessageBox(DWORD processId, Millis timeout) {
    std::optional<MessageBoxInfo> found;
    waitUntil([&] { return (found = findMessageBox(processId)).has_value(); }, timeout);
    return found;
}

std::string MessageBoxInfo::describe() const {
    std::string ids;
    for (int b : buttons) ids.append(ids.empty() ? "" : ",").append(std::to_string(b));
    std::string out = "message box title=\"";
    out.append(titleUtf8()).append("\" text=\"").append(textUtf8()).append("\" icon=").append(toString(icon));
    out.append(" buttons=[").append(ids).append("]").append(owner ? " owned" : " unowned");
    return out;
}

void MessageBoxInfo::answer(int buttonId) const { window.child(buttonId).click(); }

// ---- The list view of another process ---------------------------------------------

RemoteListView::RemoteListView(Window list) : list_(list) {
    const DWORD pid = list_.processId();
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                           FALSE, pid);
    if (process_)
        memory_ = VirtualAllocEx(process_, nullptr, memorySize_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteListView::~RemoteListView() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

LRESULT RemoteListView::sendWithBuffer(UINT message, WPARAM wParam, void* data, size_t size) const {
    if (!memory_ || size > memorySize_) return 0;
    SIZE_T moved = 0;
    if (!WriteProcessMemory(process_, memory_, data, size, &moved)) return 0;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(list_.hwnd(), message, wParam, reinterpret_cast<LPARAM>(memory_), SMTO_ABORTIFHUNG, 5000,
                        &result);
    ReadProcessMemory(process_, memory_, data, size, &moved);
    return static_cast<LRESULT>(result);
}

int RemoteListView::itemCount() const { return static_cast<int>(SendMessageW(list_.hwnd(), LVM_GETITEMCOUNT, 0, 0)); }

int RemoteListView::columnCount() const {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_.hwnd(), LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::vector<ListColumn> RemoteListView::columns() const {
    std::vector<ListColumn> out;
    constexpr size_t textChars = 512;
    struct Block {
        LVCOLUMNW column;
        wchar_t text[textChars];
    };
    const int n = columnCount();
    for (int i = 0; i < n; ++i) {
        Block block{};
        block.column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        block.column.cchTextMax = textChars;
        // The text pointer must point into the target's copy of the block.
        block.column.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + offsetof(Block, text));
        sendWithBuffer(LVM_GETCOLUMNW, static_cast<WPARAM>(i), &block, sizeof block);
        block.text[textChars - 1] = 0;
        out.push_back(ListColumn{block.text, block.column.cx, block.column.fmt});
    }
    return out;
}

std::wstring RemoteListView::itemText(int item, int column) const {
    constexpr size_t textChars = 4096;
    struct Block {
        LVITEMW item;
        wchar_t text[textChars];
    };
    auto block = std::make_unique<Block>();
    block->item.iSubItem = column;
    block->item.cchTextMax = textChars;
    block->item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + offsetof(Block, text));
    const LRESULT length = sendWithBuffer(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), block.get(), sizeof(Block));
    block->text[textChars - 1] = 0;
    return std::wstring(block->text, std::min<size_t>(static_cast<size_t>(std::max<LRESULT>(length, 0)),
                                                       wcslen(block->text)));
}

std::vector<std::wstring> RemoteListView::rowTexts(int item) const {
    std::vector<std::wstring> texts;
    const int n = columnCount();
    for (int c = 0; c < n; ++c) texts.push_back(itemText(item, c));
    return texts;
}

std::vector<std::vector<std::string>> RemoteListView::allRowsUtf8() const {
    std::vector<std::vector<std::string>> rows;
    const int n = itemCount();
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> row;
        for (const auto& t : rowTexts(i)) row.push_back(narrow(t));
        rows.push_back(std::move(row));
    }
    return rows;
}

LPARAM RemoteListView::itemParam(int item) const {
    LVITEMW lv{};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    sendWithBuffer(LVM_GETITEMW, 0, &lv, sizeof lv);
    return lv.lParam;
}

UINT RemoteListView::itemState(int item, UINT mask) const {
    return static_cast<UINT>(SendMessageW(list_.hwnd(), LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask));
}

int RemoteListView::stateImageIndex(int item) const {
    return static_cast<int>((itemState(item, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
}

int RemoteListView::selectedCount() const {
    return static_cast<int>(SendMessageW(list_.hwnd(), LVM_GETSELECTEDCOUNT, 0, 0));
}

DWORD RemoteListView::extendedStyle() const {
    return static_cast<DWORD>(SendMessageW(list_.hwnd(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

RECT RemoteListView::itemRect(int item, int code) const {
    RECT r{};
    r.left = code;
    sendWithBuffer(LVM_GETITEMRECT, static_cast<WPARAM>(item), &r, sizeof r);
    return r;
}

bool RemoteListView::focusAndSelect(int item) const {
    LVITEMW lv{};
    lv.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    lv.state = LVIS_FOCUSED | LVIS_SELECTED;
    return sendWithBuffer(LVM_SETITEMSTATE, static_cast<WPARAM>(item), &lv, sizeof lv) != 0;
}

void RemoteListView::clickItem(int item) const {
    const RECT r = itemRect(item, LVIR_LABEL);
    list_.clickAt(POINT{r.left + 4, (r.top + r.bottom) / 2});
}

void RemoteListView::clickEmptySpace() const {
    const int n = itemCount();
    RECT client{};
    GetClientRect(list_.hwnd(), &client);
    int y = client.bottom - 3;
    if (n > 0) {
        const RECT last = itemRect(n - 1, LVIR_BOUNDS);
        y = std::min<int>(client.bottom - 3, last.bottom + 8);
    }
    list_.clickAt(POINT{client.right / 2, y});
}

// ---- Screenshots ---------------------------------------------------------------

std::wstring saveScreenshot(const Window& window, std::wstring_view name) {
    RECT r{};
    if (window.hwnd()) {
        // Other programs' windows may lie over it: bring it up first.
        if (!fullyUncovered(window)) {
            bringIntoView(window, 3s);
            std::this_thread::sleep_for(100ms);  // the screen follows the new order
        }
        r = window.screenRect();
    } else {
        r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    }
    ScreenCapture capture(r);
    if (!capture.ok()) return {};
    const int w = capture.width(), h = capture.height();
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    std::string bmp;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + stride * h);
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;  // bottom-up rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    bmp.append(reinterpret_cast<const char*>(&file), sizeof file);
    bmp.append(reinterpret_cast<const char*>(&info), sizeof info);
    std::string row(stride, '\0');
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = capture.pixel(x, y);
            row[static_cast<size_t>(x) * 3 + 0] = static_cast<char>(p & 0xFF);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
        }
        bmp += row;
    }
    const std::wstring path = screenshotFolder() + L"\\" + std::wstring(name) + L".bmp";
    return writeFileBytes(path, bmp) ? path : std::wstring();
}

std::optional<COLORREF> dominantColour(const Window& window) {
    ScreenCapture capture(window.screenRect());
    if (!capture.ok()) return std::nullopt;
    const std::uint32_t background = capture.pixel(0, 0);
    unsigned long long r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < capture.height(); ++y) {
        for (int x = 0; x < capture.width(); ++x) {
            const std::uint32_t p = capture.pixel(x, y);
            if (p == background) continue;
            const unsigned pr = (p >> 16) & 0xFF, pg = (p >> 8) & 0xFF, pb = p & 0xFF;
            // Outlines and white highlights say nothing about the icon's colour.
            if (pr + pg + pb < 120 || (pr > 220 && pg > 220 && pb > 220)) continue;
            r += pr;
            g += pg;
            b += pb;
            ++n;
        }
    }
    if (n == 0) return std::nullopt;
    return RGB(static_cast<BYTE>(r / n), static_cast<BYTE>(g / n), static_cast<BYTE>(b / n));
}

}  // namespace tessaline::e2e
