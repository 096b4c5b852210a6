// Loading the program's own resources (resources/tessaline.rc) from the executable.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <span>

// Size of the banner picture and of one state image, in pixels.
inline constexpr int kBannerWidth = 469;
inline constexpr int kBannerHeight = 62;
inline constexpr int kStateImageWidth = 12;
inline constexpr int kStateImageHeight = 13;
inline constexpr int kStateImageCount = 3;  // 0 green (online), 1 red (offline), 2 yellow (unknown)

// The bytes of an RCDATA resource of the executable; empty when it is missing.
// They stay valid for the life of the process and must not be written to.
std::span<const unsigned char> resourceBytes(int id);

// The main window's banner, decoded from its GIF into a 469 x 62 bitmap.
// The caller owns it (DeleteObject). nullptr on failure.
HBITMAP loadBannerBitmap();

// The password windows' 32 x 32, 32-bpp icon. The caller owns it (DestroyIcon).
// nullptr on failure.
HICON loadPasswordIcon();

// The program's icon at size x size pixels (32 for title bars and
// Alt+Tab, 16 for the small icon). The caller owns it (DestroyIcon).
// nullptr on failure.
HICON loadProgramIcon(int size);

// The server list's state images: three 12 x 13 images, ILC_COLOR32 |
// ILC_MASK. The caller owns the list (ImageList_Destroy, or hand it to a
// list view without LVS_SHAREIMAGELISTS). nullptr on failure.
HIMAGELIST createStateImageList();
