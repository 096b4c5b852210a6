// Fuzz target: the bytes of "ms.ini" as start-up reads them, given as they
// are or as the plain text they encipher. They are deciphered, the start-up
// password is extracted and the entries and option markers are parsed. The
// cipher is checked against a plain RC4 in both directions, the parse against
// one written out line by line from the file's rules.
#include "fuzz/reference936.h"
#include "store/config_cipher.h"
#include "store/config_format.h"
#include "store/text936.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace tessaline;
using fuzz::check;

// RC4 as published, written out once more for comparison.
std::string referenceRc4(std::string_view data, std::string_view key) {
    std::array<unsigned char, 256> state{};
    for (std::size_t i = 0; i < state.size(); ++i) state[i] = static_cast<unsigned char>(i);
    if (!key.empty()) {
        unsigned j = 0;
        for (std::size_t i = 0; i < state.size(); ++i) {
            j = (j + state[i] + static_cast<unsigned char>(key[i % key.size()])) % 256;
            std::swap(state[i], state[j]);
        }
    }
    std::string out(data);
    unsigned i = 0;
    unsigned j = 0;
    for (char& c : out) {
        i = (i + 1) % 256;
        j = (j + state[i]) % 256;
        std::swap(state[i], state[j]);
        const unsigned char k = state[(state[i] + state[j]) % 256];
        c = static_cast<char>(static_cast<unsigned char>(c) ^ k);
    }
    return out;
}

// The entries and option markers read line by line straight from the file's rules.
ParsedConfig referenceParse(std::string_view configBytes) {
    std::string_view text = configBytes.substr(0, configBytes.find('\0'));
    ParsedConfig parsed;
    for (const std::string& line : fuzz::splitAtCharacters(text, "\r\n")) {
        const std::vector<std::string> pieces = fuzz::splitAtCharacters(line, "|");
        if (pieces.size() >= 3) {
            ServerEntry entry;
            entry.address = pieces[0];
            entry.port = pieces[1];
            entry.account = pieces[2];
            entry.password = pieces.size() >= 4 ? pieces[3] : std::string();
            entry.note = pieces.size() >= 5 ? pieces[4] : std::string();
            parsed.entries.push_back(entry);
        }
        const auto has = [&line](std::string_view marker) {
            return fuzz::findAtCharacter(line, marker, 0) != std::string_view::npos;
        };
        const bool lastIsOne = !line.empty() && line.back() == '1';
        if (has("#onsole:")) {
            if (lastIsOne) parsed.turnOn.console = true;
        } else if (has("#admin:")) {
            if (lastIsOne) parsed.turnOn.admin = true;
        } else if (has("#Start:")) {
            // One radio group: checking one button unchecks the other.
            parsed.turnOn.res1024x768 = lastIsOne;
            parsed.turnOn.res800x600 = !lastIsOne;
        }
    }
    return parsed;
}

bool holdsLineBreak(std::string_view text) {
    return fuzz::findAtCharacter(text, "\r\n", 0) != std::string_view::npos;
}

bool holdsSeparator(std::string_view text) {
    return fuzz::findAtCharacter(text, "|", 0) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte says what the rest is: the file's bytes as they are
    // (even), or a plain text that is enciphered into the file first (odd), so
    // that mutations can also work on the text that the parser sees.
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool plainInput = (data[0] & 1) != 0;
    const std::string fileBytes = plainInput ? configCipher(rest, configKey) : std::string(rest);

    const std::string configBytes = configCipher(fileBytes, configKey);
    if (plainInput) check(configBytes == rest, "the file deciphers to the text it was made from");
    check(configBytes.size() == fileBytes.size(), "the cipher keeps the length");
    check(configBytes == referenceRc4(fileBytes, configKey), "the cipher is RC4 with the key");
    check(configCipher(configBytes, configKey) == fileBytes, "deciphering gives back the bytes");
    check(configCipher(fileBytes, "") == referenceRc4(fileBytes, ""), "an empty key keeps the state in order");

    const std::string password = startupPasswordFrom(configBytes);
    check(password.size() <= configBytes.size(), "the password is no longer than the text");
    check(password.find('\0') == std::string::npos, "the password stops at the first NUL");
    check(password == startupPasswordFrom(text936::untilNul(configBytes)), "bytes after a NUL are ignored");

    const ParsedConfig parsed = parseConfig(configBytes);
    const std::string_view text = text936::untilNul(configBytes);
    // Every entry comes from a line of its own with two "|" or more.
    check(parsed.entries.size() * 2 <= fuzz::countAtCharacters(text, "|"), "two separators or more an entry");
    for (const ServerEntry& entry : parsed.entries) {
        check(entry.status == ServerStatus::Unknown, "every entry is Unknown");
        for (const std::string* field : {&entry.address, &entry.port, &entry.account, &entry.password, &entry.note}) {
            check(!holdsLineBreak(*field), "no entry text holds a line break");
            check(!holdsSeparator(*field), "no entry text holds a separator");
            check(field->find('\0') == std::string::npos, "no entry text holds a NUL");
        }
    }
    check(!(parsed.turnOn.res800x600 && parsed.turnOn.res1024x768), "at most one radio button is turned on");

    const ParsedConfig reference = referenceParse(configBytes);
    check(parsed.entries == reference.entries, "the entries are those the lines give");
    check(parsed.turnOn == reference.turnOn, "the options are those the markers give");

    const ParsedConfig again = parseConfig(configBytes);
    check(again.entries == parsed.entries && again.turnOn == parsed.turnOn, "parsing is repeatable");
    return 0;
}
