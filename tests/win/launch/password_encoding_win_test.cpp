// encodeSavedPassword under the real data-protection service, and the fatal
// stop when crypt32.dll is missing.
#include "launch/password_encoding_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "launch/connection_file.h"
#include "launch/handles_win.h"
#include "launch/session_launch_win.h"
#include "tests/win/launch/test_support_win.h"

namespace tessaline::win {
namespace {

using testing::unhex;

struct Unprotected {
    bool ok = false;
    DWORD error = 0;
    std::vector<unsigned char> block;
    std::wstring description;
};

Unprotected unprotect(const std::vector<unsigned char>& blob) {
    DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
    OwnedLocalBlob out;
    LPWSTR description = nullptr;
    Unprotected result;
    SetLastError(0xdeadbeef);
    result.ok = CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out.blob) != FALSE;
    result.error = GetLastError();
    if (description) {
        result.description = description;
        LocalFree(description);
    }
    if (result.ok) result.block.assign(out.blob.pbData, out.blob.pbData + out.blob.cbData);
    return result;
}

// The block the password should give: its UTF-16LE units and terminator at
// the start (at most 512 bytes of them), zero bytes after.
std::vector<unsigned char> expectedBlock(const std::wstring& password) {
    std::vector<unsigned char> block(passwordBlockSize, 0);
    std::wstring withTerminator = password;
    withTerminator.push_back(L'\0');
    for (std::size_t i = 0; i < withTerminator.size() && 2 * i + 1 < block.size(); ++i) {
        block[2 * i] = static_cast<unsigned char>(withTerminator[i] & 0xFF);
        block[2 * i + 1] = static_cast<unsigned char>(withTerminator[i] >> 8);
    }
    return block;
}

struct PasswordCase {
    const char* name;
    std::wstring password;
};

class EncodeSavedPassword : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(EncodeSavedPassword, UnprotectsToTheBlockWithDescriptionPsw) {
    const PasswordCase& c = GetParam();
    const std::string encoded = encodeSavedPassword(narrow936(c.password));

    ASSERT_EQ(encoded.size() % 2, 1u) << encoded.size();
    EXPECT_EQ(encoded.back(), '0');
    EXPECT_EQ(encoded.find_first_not_of("0123456789ABCDEF"), std::string::npos) << encoded;

    const Unprotected plain = unprotect(unhex(encoded));
    ASSERT_TRUE(plain.ok) << "CryptUnprotectData error " << plain.error;
    EXPECT_EQ(plain.description, L"psw");
    ASSERT_EQ(plain.block.size(), passwordBlockSize);
    EXPECT_EQ(plain.block, expectedBlock(c.password));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, EncodeSavedPassword,
    ::testing::Values(PasswordCase{"Short", L"secret"}, PasswordCase{"OneUnit", L"x"},
                      PasswordCase{"Chinese", L"管理员密码2024"},
                      PasswordCase{"Units255WithTerminator", std::wstring(255, L'a')},
                      PasswordCase{"Units256WithoutTerminator", std::wstring(256, L'b')},
                      PasswordCase{"Units300CutAfter256", std::wstring(300, L'c')},
                      PasswordCase{"ChineseUnits300", std::wstring(300, L'码')}),
    [](const ::testing::TestParamInfo<PasswordCase>& p) { return std::string(p.param.name); });

TEST(EncodeSavedPassword, TwoEncodingsOfOnePasswordBothUnprotect) {
    const std::string first = encodeSavedPassword("same");
    const std::string second = encodeSavedPassword("same");
    EXPECT_TRUE(unprotect(unhex(first)).ok);
    EXPECT_TRUE(unprotect(unhex(second)).ok);
}

// What a stand-in protection function saw, and what it hands back.
struct ProtectCall {
    int calls = 0;
    std::vector<unsigned char> block;
    std::wstring description;
    DWORD flags = 0xFFFFFFFF;
    bool extrasNull = false;
    bool fail = false;
};
ProtectCall protectCall;

BOOL WINAPI fakeProtect(DATA_BLOB* in, LPCWSTR description, DATA_BLOB* entropy, PVOID reserved,
                        CRYPTPROTECT_PROMPTSTRUCT* prompt, DWORD flags, DATA_BLOB* out) {
    ++protectCall.calls;
    protectCall.block.assign(in->pbData, in->pbData + in->cbData);
    protectCall.description = description ? description : L"(null)";
    protectCall.flags = flags;
    protectCall.extrasNull = entropy == nullptr && reserved == nullptr && prompt == nullptr;
    if (protectCall.fail) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    static const BYTE reply[] = {0x01, 0xAB, 0x00};
    out->cbData = sizeof reply;
    out->pbData = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, sizeof reply));
    CopyMemory(out->pbData, reply, sizeof reply);
    return TRUE;
}

TEST(EncodeSavedPasswordWith, HandsTheBlockOverAndWritesTheBlobAsHex) {
    protectCall = {};
    EXPECT_EQ(encodeSavedPasswordWith("pw", fakeProtect), "01AB000");
    EXPECT_EQ(protectCall.calls, 1);
    EXPECT_EQ(protectCall.block, expectedBlock(L"pw"));
    EXPECT_EQ(protectCall.description, L"psw");
    EXPECT_EQ(protectCall.flags, 0u);
    EXPECT_TRUE(protectCall.extrasNull);
}

TEST(EncodeSavedPasswordWith, FailedProtectionGivesTheSingleZero) {
    protectCall = {};
    protectCall.fail = true;
    EXPECT_EQ(encodeSavedPasswordWith("pw", fakeProtect), "0");
    EXPECT_EQ(protectCall.calls, 1);
}

// Top-level message boxes (#32770) of one process.
struct BoxSearch {
    DWORD processId;
    HWND box = nullptr;
};

BOOL CALLBACK findBox(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner == search->processId && std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

BOOL CALLBACK collectChildTexts(HWND child, LPARAM parameter) {
    *reinterpret_cast<std::wstring*>(parameter) += windowText(child) + L"\n";
    return TRUE;
}

TEST(BoundFunctions, MissingCryptProtectDataStopsWithAnErrorBox) {
    const std::filesystem::path child = testing::programFolder() / "encode_password_child.exe";
    ASSERT_TRUE(std::filesystem::exists(child)) << child;

    // Wine's DLL overrides for this one program leave crypt32.dll out (the
    // per-program form of WINEDLLOVERRIDES="crypt32=d", which a child started
    // from a Windows program does not take from its environment).
    const std::wstring appDefaults = L"Software\\Wine\\AppDefaults\\encode_password_child.exe";
    {
        OwnedKey overrides;
        ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, (appDefaults + L"\\DllOverrides").c_str(), overrides.receive()),
                  ERROR_SUCCESS);
        static const wchar_t disabled[] = L"disabled";
        ASSERT_EQ(RegSetValueExW(overrides.get(), L"crypt32", 0, REG_SZ, reinterpret_cast<const BYTE*>(disabled),
                                 sizeof disabled),
                  ERROR_SUCCESS);
    }

    std::wstring commandLine = L"\"" + child.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    const DWORD startError = GetLastError();
    struct RemoveOverrides {
        std::wstring key;
        ~RemoveOverrides() { RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str()); }
    } removeOverrides{appDefaults};
    ASSERT_TRUE(started) << "CreateProcessW error " << startError;
    const OwnedHandle processHandle(process.hProcess);
    const OwnedHandle threadHandle(process.hThread);

    BoxSearch search{process.dwProcessId};
    for (int attempt = 0; attempt < 300 && !search.box; ++attempt) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (!search.box) Sleep(50);
    }
    if (!search.box) {
        TerminateProcess(process.hProcess, 99);
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        FAIL() << "no message box from the child; it ended with " << exitCode;
    }

    std::wstring texts;
    EnumChildWindows(search.box, collectChildTexts, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(texts.find(L"CryptProtectData"), std::wstring::npos) << narrow936(texts);
    EXPECT_NE(texts.find(L"crypt32.dll"), std::wstring::npos) << narrow936(texts);
    EXPECT_EQ(GetWindow(search.box, GW_OWNER), nullptr);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "ended before the box was answered";

    PostMessageW(search.box, WM_COMMAND, IDOK, 0);
    const DWORD waited = WaitForSingleObject(process.hProcess, 20000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    ASSERT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, missingFunctionExitCode);
}

} // namespace
} // namespace tessaline::win
