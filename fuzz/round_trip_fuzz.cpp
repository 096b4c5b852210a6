// Fuzz target: a table, options and a start-up password made from the input,
// kept to the texts the file can hold, written as "ms.ini" would be and read
// back the way start-up reads it. What the file can hold must come back equal.
#include "fuzz/reference936.h"
#include "store/config_cipher.h"
#include "store/config_format.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tessaline;
using fuzz::check;

// Texts that plainly fit the file: no byte the format gives a meaning to
// ("|", CR, LF, NUL, and "#" that starts every marker, or ">" for the
// password) and whole characters only.
bool plainlyStorable(std::string_view text, std::string_view bannedBytes) {
    return text.find_first_of(bannedBytes) == std::string_view::npos && !fuzz::endsInLoneLeadByte(text);
}
constexpr std::string_view serverBannedBytes{"|\r\n#\0", 5};
constexpr std::string_view passwordBannedBytes{"|\r\n#>\0", 6};

// A text of the input, or the empty text when the file could not keep it.
std::string serverText(FuzzedDataProvider& input) {
    std::string text = input.ConsumeRandomLengthString(24);
    const bool storable = isStorableServerText(text);
    if (plainlyStorable(text, serverBannedBytes)) check(storable, "a plain text is storable");
    return storable ? text : std::string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    LaunchOptionStates options;
    options.console = input.ConsumeBool();
    options.admin = input.ConsumeBool();
    options.res1024x768 = input.ConsumeBool();
    options.res800x600 = !options.res1024x768;
    std::string password = input.ConsumeRandomLengthString(24);
    const bool storablePassword = isStorableStartupPassword(password);
    if (plainlyStorable(password, passwordBannedBytes)) check(storablePassword, "a plain password is storable");
    if (!storablePassword) password.clear();

    std::vector<ServerEntry> entries;
    while (input.remaining_bytes() > 0 && entries.size() < 64) {
        ServerEntry entry;
        entry.address = serverText(input);
        entry.port = serverText(input);
        entry.account = serverText(input);
        entry.password = serverText(input);
        entry.note = serverText(input);
        entries.push_back(entry);
    }

    const std::string plain = serializeConfig(entries, options, password);
    const std::string file = configCipher(plain, configKey);
    check(file.size() == plain.size(), "the file is as long as its plain text");

    // Start-up: decipher, extract the password, parse.
    const std::string configBytes = configCipher(file, configKey);
    check(configBytes == plain, "the file deciphers to its plain text");
    check(startupPasswordFrom(configBytes) == password, "the start-up password reads back");
    const ParsedConfig parsed = parseConfig(configBytes);
    check(parsed.entries == entries, "the entries read back equal, in order, all Unknown");
    check(parsed.turnOn == options, "the options read back");
    return 0;
}
