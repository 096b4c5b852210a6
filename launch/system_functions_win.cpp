// Binding by name, with the fatal stop for a function the system lacks.
#include "launch/system_functions_win.h"

#include <string>

namespace tessaline::win {
namespace {

[[noreturn]] void stopForMissingFunction(const wchar_t* library, const wchar_t* function) {
    std::wstring text = L"找不到系统函数 ";
    text += function;
    text += L"（";
    text += library;
    text += L"），程序无法继续运行。";
    MessageBoxW(nullptr, text.c_str(), L"错误", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(missingFunctionExitCode);
}

FARPROC bindOrStop(const wchar_t* library, const char* function, const wchar_t* functionForMessage) {
    HMODULE module = GetModuleHandleW(library);
    if (!module) module = LoadLibraryW(library);  // kept loaded for the rest of the run
    FARPROC address = module ? GetProcAddress(module, function) : nullptr;
    if (!address) stopForMissingFunction(library, functionForMessage);
    return address;
}

// GetProcAddress hands out a generic pointer; the caller knows the real type.
template <class Function>
Function as(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

} // namespace

CryptProtectDataFunction boundCryptProtectData() {
    static const auto function =
        as<CryptProtectDataFunction>(bindOrStop(L"crypt32.dll", "CryptProtectData", L"CryptProtectData"));
    return function;
}

WvsprintfAFunction boundWvsprintfA() {
    static const auto function = as<WvsprintfAFunction>(bindOrStop(L"user32.dll", "wvsprintfA", L"wvsprintfA"));
    return function;
}

MultiByteToWideCharFunction boundMultiByteToWideChar() {
    static const auto function = as<MultiByteToWideCharFunction>(
        bindOrStop(L"kernel32.dll", "MultiByteToWideChar", L"MultiByteToWideChar"));
    return function;
}

} // namespace tessaline::win
