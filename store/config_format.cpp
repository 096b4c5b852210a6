// Reading and writing the plain text of "ms.ini". Lines end in CR LF; server
// lines hold five texts separated by "|"; option lines and the password line
// carry markers. Nothing is escaped.
#include "store/config_format.h"

#include "store/text936.h"

namespace tessaline {

namespace {

constexpr std::string_view lineBreak = "\r\n";
constexpr std::string_view fieldSeparator = "|";
constexpr std::string_view consoleMarker = "#onsole:";
constexpr std::string_view adminMarker = "#admin:";
constexpr std::string_view resolutionMarker = "#Start:";

constexpr std::string_view consoleLine = "#onsole:1\r\n";
constexpr std::string_view adminLine = "#admin:1\r\n";
constexpr std::string_view start1024Line = "#Start:1\r\n";
constexpr std::string_view start800Line = "#Start:0\r\n";

// A lead byte at the very end would take the byte written after the text
// (a separator or the line break) as its second byte.
bool endsInLoneLeadByte(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = text936::charLength(text, i);
        if (length == 1 && text936::isLeadByte(text[i])) return true;
        i += length;
    }
    return false;
}

// The option marker rules of one line; the first marker found decides.
void applyOptionMarkers(std::string_view line, LaunchOptionStates& turnOn) {
    if (line.empty()) return;
    const bool lastIsOne = line.back() == '1';
    if (text936::contains(line, consoleMarker)) {
        if (lastIsOne) turnOn.console = true;
    } else if (text936::contains(line, adminMarker)) {
        if (lastIsOne) turnOn.admin = true;
    } else if (text936::contains(line, resolutionMarker)) {
        // Radio buttons of one group: checking one unchecks the other, so a
        // later "#Start:" line overrides an earlier one.
        turnOn.res1024x768 = lastIsOne;
        turnOn.res800x600 = !lastIsOne;
    }
}

} // namespace

std::string extractMarked(std::string_view text, std::string_view startMarker,
                          std::string_view endMarker) {
    // Empty markers would match without moving on.
    if (startMarker.empty() || endMarker.empty()) return {};
    std::string result;
    int pieces = 0;
    std::size_t s = text936::find(text, startMarker, 0);
    while (s != text936::npos) {
        // The end marker is searched from the start marker itself.
        const std::size_t e = text936::find(text, endMarker, s);
        if (e == text936::npos) return {};
        if (pieces > 0) result += "||";
        const std::size_t begin = s + startMarker.size();
        if (e > begin) result.append(text.substr(begin, e - begin));
        ++pieces;
        s = text936::find(text, startMarker, e + endMarker.size());
    }
    return result;
}

std::string startupPasswordFrom(std::string_view configBytes) {
    return extractMarked(text936::untilNul(configBytes), passwordStartMarker, passwordEndMarker);
}

ParsedConfig parseConfig(std::string_view configBytes) {
    ParsedConfig parsed;
    const std::string_view text = text936::untilNul(configBytes);
    const std::vector<std::string_view> lines = text936::split(text, lineBreak);
    parsed.entries.reserve(lines.size());
    std::vector<std::string_view> pieces;
    for (const std::string_view line : lines) {
        text936::splitInto(line, fieldSeparator, pieces);
        if (pieces.size() >= 3) {
            ServerEntry& entry = parsed.entries.emplace_back();
            entry.address = pieces[0];
            entry.port = pieces[1];
            entry.account = pieces[2];
            if (pieces.size() >= 4) entry.password = pieces[3];
            if (pieces.size() >= 5) entry.note = pieces[4];
            entry.status = ServerStatus::Unknown;
        }
        applyOptionMarkers(line, parsed.turnOn);
    }
    return parsed;
}

std::string serializeConfig(std::span<const ServerEntry> entries, const LaunchOptionStates& options,
                            std::string_view startupPassword) {
    std::size_t size = consoleLine.size() + adminLine.size() + start1024Line.size() +
                       passwordStartMarker.size() + startupPassword.size() +
                       passwordEndMarker.size() + lineBreak.size();
    for (const ServerEntry& entry : entries) {
        size += entry.address.size() + entry.port.size() + entry.account.size() +
                entry.password.size() + entry.note.size() + 4 * fieldSeparator.size() +
                lineBreak.size();
    }
    std::string text;
    text.reserve(size);
    for (const ServerEntry& entry : entries) {
        text += entry.address;
        text += fieldSeparator;
        text += entry.port;
        text += fieldSeparator;
        text += entry.account;
        text += fieldSeparator;
        text += entry.password;
        text += fieldSeparator;
        text += entry.note;
        text += lineBreak;
    }
    if (options.console) text += consoleLine;
    if (options.admin) text += adminLine;
    text += options.res1024x768 ? start1024Line : start800Line;
    text += passwordStartMarker;
    text += startupPassword;
    text += passwordEndMarker;
    text += lineBreak;
    return text;
}

bool isStorableServerText(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    for (const std::string_view banned :
         {fieldSeparator, std::string_view("\r"), std::string_view("\n"), consoleMarker, adminMarker,
          resolutionMarker, passwordStartMarker}) {
        if (text936::contains(text, banned)) return false;
    }
    return !endsInLoneLeadByte(text);
}

bool isStorableStartupPassword(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) return false;
    // CR or LF would start a line of its own (which could be an option line);
    // "#Start:" in the password line would choose 800*600 at the next start.
    for (const std::string_view banned :
         {passwordEndMarker, fieldSeparator, std::string_view("\r"), std::string_view("\n"),
          resolutionMarker}) {
        if (text936::contains(password, banned)) return false;
    }
    return !endsInLoneLeadByte(password);
}

} // namespace tessaline
