// Fuzz target: the connection file text for an entry whose texts come from
// the input, with a stand-in for the data-protection step that writes the
// password's own bytes as hexadecimal. The text must keep the template's 38
// lines whatever the entry holds, with the values in lines 9, 18 and 19.
#include "fuzz/reference936.h"
#include "launch/connection_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tessaline;
using fuzz::check;

std::string standInEncode(std::string_view password) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(password.data());
    return hexEncodeBlob(std::span<const unsigned char>(bytes, password.size()));
}

// A value as it may stand in one line of the file: no CR or LF byte, and no
// lead byte at its end that would pair with the byte after it.
std::string lineValue(std::string_view value) {
    std::string kept;
    for (char c : value) {
        if (c != '\r' && c != '\n') kept += c;
    }
    if (fuzz::endsInLoneLeadByte(kept)) kept.pop_back();
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    ServerEntry entry;
    entry.address = input.ConsumeRandomLengthString(64);
    entry.port = input.ConsumeRandomLengthString(16);
    entry.account = input.ConsumeRandomLengthString(64);
    entry.note = input.ConsumeRandomLengthString(16);
    entry.password = input.ConsumeRemainingBytesAsString();

    int encoded = 0;
    const std::string text = buildConnectionText(entry, [&encoded](std::string_view password) {
        ++encoded;
        return standInEncode(password);
    });
    check(encoded == (entry.password.empty() ? 0 : 1), "the password is encoded once, only when there is one");

    // 38 lines, each ending in CR LF, and no other CR or LF byte.
    std::size_t lineBreakBytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') ++lineBreakBytes;
    }
    check(lineBreakBytes == 2 * 38, "no CR or LF byte besides the 38 line ends");
    check(fuzz::countAtCharacters(text, "\r\n") == 38, "38 line ends at character starts");
    check(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n" && fuzz::isCharacterStart(text, text.size() - 2),
          "the last line ends in CR LF");

    const std::vector<std::string> lines = fuzz::splitAtCharacters(text, "\r\n");
    static const std::vector<std::string> templateLines = fuzz::splitAtCharacters(connectionFileTemplate, "\r\n");
    check(lines.size() == 38 && templateLines.size() == 38, "38 lines");

    // The values as the template's replacements put them in: the account may
    // hold the address placeholder, and both may hold the password placeholder.
    const std::string passwordLine = std::string(passwordLinePrefix) + standInEncode(entry.password);
    const std::string fullAddress = lineValue(entry.address) + ":" + lineValue(entry.port);
    std::string account = fuzz::replaceAtCharacters(lineValue(entry.account), addressPlaceholder, fullAddress);
    std::string address = fullAddress;
    if (!entry.password.empty()) {
        account = fuzz::replaceAtCharacters(account, passwordPlaceholder, passwordLine);
        address = fuzz::replaceAtCharacters(address, passwordPlaceholder, passwordLine);
    }
    for (std::size_t i = 0; i < 38; ++i) {
        const std::size_t number = i + 1;
        if (number == 9) {
            check(lines[i] == "username:s:" + account, "line 9 holds the account");
        } else if (number == 18) {
            check(lines[i] == "full address:s:" + address, "line 18 holds the address and port");
        } else if (number == 19) {
            check((lines[i] == passwordPlaceholder) == entry.password.empty(),
                  "line 19 is the placeholder exactly when there is no password");
            if (!entry.password.empty()) check(lines[i] == passwordLine, "line 19 holds the password line");
        } else {
            check(lines[i] == templateLines[i], "every other line is the template's");
        }
    }
    return 0;
}
