// The descriptions of the program's four windows: caption, outer size and
// every control with its place, size, text and settings.
#pragma once

#include "ui/form.h"

namespace tessaline {

const FormSpec& mainWindowForm();
const FormSpec& authenticationWindowForm();
const FormSpec& startupPasswordWindowForm();
const FormSpec& serverEditorWindowForm();

// Texts that the handlers set at run time.
inline constexpr const wchar_t* kEditorCaptionAdd = L"添加服务器列表";
inline constexpr const wchar_t* kEditorCaptionEdit = L"修改服务器列表";
inline constexpr const wchar_t* kEditorCommitAdd = L"添 加 列 表(ADDLIST)";
inline constexpr const wchar_t* kEditorCommitEdit = L"修 改 列 表(EDIT LIST)";

} // namespace tessaline
