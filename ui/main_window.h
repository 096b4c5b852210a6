// The main window: the server list, the five commands, the note box and
// the launch options.
#pragma once

#include <windows.h>

#include "store/config_format.h"

namespace tessaline {

// The main window's controls that other windows' handlers use.
struct MainWindowControls {
    HWND window = nullptr;
    HWND 超级列表框1 = nullptr;
    HWND 按钮_连接服务器 = nullptr;
    HWND 按钮_删除服务器 = nullptr;
    HWND 编辑框_备注 = nullptr;
    HWND 选择框_onsole = nullptr;
    HWND 选择框_admin = nullptr;
    HWND 单选框800600 = nullptr;
    HWND 单选框1024768 = nullptr;
};

MainWindowControls& mainWindow();

// Creates and shows the main window (modeless). Its creation fills the
// table from the configuration, fills the list and starts the probes.
HWND openMainWindow();

// The checked states of the four option controls, read now.
LaunchOptionStates readLaunchOptions();

} // namespace tessaline
