// Resource identifiers, shared by the resource script and the program.
#pragma once

#define IDI_TESSALINE        1    // the program's icon (title bars, the executable)
#define IDR_BANNER_GIF       100  // main window banner, a 469 x 62 GIF (RCDATA)
#define IDR_PASSWORD_ICON    101  // password windows' icon, a 4,286-byte ICO (RCDATA)
#define IDB_STATE_IMAGES     102  // the list's three 12 x 13 state images (BITMAP, 36 x 13, 32 bpp)
