// Windows described as data: a caption, an outer size and a table of
// controls with pixel places. createForm builds the window centred on the
// screen; the handlers of each window live in its own file.
#pragma once

#include <windows.h>

#include <span>

namespace tessaline {

enum class ControlKind {
    PictureBox,     // paints a bitmap or icon at its natural size, top-left
    GroupBox,
    Label,
    Button,
    DefaultButton,  // the window's default button, drawn as such
    CheckBox,       // toggles by itself
    RadioButton,    // toggles by itself; WS_GROUP on the first of a group
    Edit,
    ListView,
};

enum class FontKind {
    Default,        // the system's default GUI font
    SongBold12,     // 宋体, bold, 12 pixels
    SongBold16,     // 宋体, bold, 16 pixels
    Song12,         // 宋体, normal, 12 pixels, GB2312 character set
};

struct ControlSpec {
    ControlKind kind;
    int id;
    int container;        // id of the group box holding it; 0 for the window
    int x, y, width, height;
    const wchar_t* text;
    DWORD style;          // added to the kind's own style bits
    DWORD exStyle;        // added to the kind's own extended style bits
    FontKind font = FontKind::Default;
};

struct FormSpec {
    const wchar_t* className;
    const wchar_t* caption;
    int outerWidth, outerHeight;
    std::span<const ControlSpec> controls;
    int defaultButton;    // id of the button Enter presses
};

// Registers the window class of a form (once per class name).
void registerFormClass(const wchar_t* className, WNDPROC windowProc, bool programIcon);

// Creates the top-level window of the form, centred on the screen, hidden.
// lParam reaches WM_CREATE through CREATESTRUCT::lpCreateParams.
HWND createFormWindow(const FormSpec& form, LPVOID createParam);

// Creates the form's controls inside window (called from WM_CREATE).
void createFormControls(HWND window, const FormSpec& form);

HFONT formFont(FontKind font);

// Picture boxes: sets the bitmap or icon a picture box shows (not owned).
void setPictureBitmap(HWND pictureBox, HBITMAP bitmap);
void setPictureIcon(HWND pictureBox, HICON icon);

// Limits an edit box to a number of code page 936 bytes (not characters).
void limitEditBytes(HWND edit, std::size_t maxBytes);

// Keyboard handling of the program's windows, for the message loops:
// Enter presses the form's default button when it is enabled (unless the
// focus is in an editable multi-line box that takes Enter), Esc closes the
// form like its close box, Tab moves the focus. True when msg was consumed.
bool translateFormKeys(MSG& msg);

// The default button id that translateFormKeys presses, kept per window.
void setFormDefaultButton(HWND window, int buttonId);

// Message loop for a modal window: every other top-level window of this
// thread takes no input until `window` has been closed. Returns once the
// form has been destroyed (or asked to end with endModal). The focus
// starts on initialFocus.
void runModal(HWND window, HWND initialFocus);

// Ends the modal loop of window, which then destroys it.
void endModal(HWND window);

// Drops what createFormControls attached to window (from WM_NCDESTROY).
void forgetForm(HWND window);

// What every modal form does with the messages its own procedure leaves:
// DM_GETDEFID names the default button, the close box (and Esc, Alt+F4)
// ends the modal loop, the form's properties go with the window.
LRESULT modalFormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace tessaline
