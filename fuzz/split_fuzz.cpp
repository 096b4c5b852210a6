// Fuzz target: the code page 936 scanning every splitter and finder goes
// through (split, splitInto, find, findLast, replaceAll), against the same
// operations done by walking the text from its first byte every time.
#include "fuzz/reference936.h"
#include "store/text936.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tessaline;
using fuzz::check;

constexpr std::size_t npos = std::string_view::npos;

std::string join(const std::vector<std::string_view>& pieces, std::string_view separator) {
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) joined += separator;
        joined += pieces[i];
    }
    return joined;
}

// The separators the program uses, and a few that hold two-byte characters.
constexpr std::string_view knownSeparators[] = {"|", "\r\n", "#LoadinPass:<", ">", "\xC3\xDC", "a\x81|"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t choice = input.ConsumeIntegralInRange<std::size_t>(0, std::size(knownSeparators));
    const std::string separator = choice < std::size(knownSeparators) ? std::string(knownSeparators[choice])
                                                                      : input.ConsumeRandomLengthString(8);
    const std::string value = input.ConsumeRandomLengthString(8);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::vector<std::string_view> pieces = text936::split(text, separator);
    std::vector<std::string_view> into{"left over"};
    text936::splitInto(text, separator, into);
    check(into == pieces, "splitInto gives the pieces of split");

    if (separator.empty()) {
        // The program's choice for a separator of no bytes: the whole text is one piece.
        check(text.empty() ? pieces.empty() : (pieces.size() == 1 && pieces[0] == text),
              "an empty separator leaves the text whole");
        check(text936::replaceAll(text, separator, value) == text, "an empty placeholder replaces nothing");
        return 0;
    }
    if (fuzz::endsInLoneLeadByte(separator)) {
        // Not a text of whole characters: only that the calls come back.
        (void)text936::replaceAll(text, separator, value);
        (void)text936::find(text, separator, 0);
        return 0;
    }

    const std::vector<std::string> expected = fuzz::splitAtCharacters(text, separator);
    check(pieces.size() == expected.size(), "split gives as many pieces as the rules");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        check(pieces[i] == expected[i], "split gives the pieces of the rules");
    }

    // Joined again, the pieces are the text without a separator at its very end.
    const std::vector<std::size_t> found = fuzz::occurrencesAtCharacters(text, separator);
    const bool endsInSeparator = !found.empty() && found.back() + separator.size() == text.size();
    check(join(pieces, separator) + (endsInSeparator ? separator : std::string()) == text,
          "the pieces joined by the separator give back the text");

    // Replacing: the text between the occurrences, with the value in their place.
    std::string replaced;
    std::size_t start = 0;
    for (std::size_t at : found) {
        replaced.append(text, start, at - start);
        replaced += value;
        start = at + separator.size();
    }
    replaced.append(text, start, npos);
    check(text936::replaceAll(text, separator, value) == replaced, "replaceAll replaces every occurrence");

    // Finding from character starts spread over the text (and from its end).
    const std::vector<std::size_t> starts = fuzz::characterStarts(text);
    const std::size_t stride = starts.size() / 32 + 1;
    std::vector<std::size_t> froms;
    for (std::size_t k = 0; k < starts.size(); k += stride) froms.push_back(starts[k]);
    froms.push_back(text.size());
    for (std::size_t from : froms) {
        check(text936::find(text, separator, from) == fuzz::findAtCharacter(text, separator, from),
              "find stops at the first occurrence at a character start");
    }
    check(text936::find(text, separator, text.size() + 1) == npos, "find from beyond the end finds nothing");

    // The last byte of its own for every ASCII byte the separator holds, and a lead byte.
    for (char c : separator + "\x81") {
        std::size_t last = npos;
        for (std::size_t at : fuzz::characterStarts(text)) {
            if (text[at] == c) last = at;
        }
        check(text936::findLast(text, c) == last, "findLast finds the last character of that byte");
    }
    return 0;
}
