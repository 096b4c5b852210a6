// Fuzz target: extractMarked on a text with the start-up password's markers
// or with markers taken from the input, against the extraction written out
// step by step from its rules.
#include "fuzz/reference936.h"
#include "store/config_format.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace tessaline;
using fuzz::check;

constexpr std::size_t npos = std::string_view::npos;

// The rules, one step after the other, with 0-based positions.
std::string referenceExtract(std::string_view text, std::string_view startMarker, std::string_view endMarker) {
    std::size_t p = 0;                                     // step 1
    std::string result;
    int pieces = 0;
    for (;;) {
        const std::size_t s = fuzz::findAtCharacter(text, startMarker, p);  // step 2
        if (s == npos) return {};
        const std::size_t e = fuzz::findAtCharacter(text, endMarker, s);    // step 3, from s itself
        if (e == npos) return {};
        if (pieces > 0) result += "||";                    // step 4
        const std::size_t begin = s + startMarker.size();
        if (e > begin) result += text.substr(begin, e - begin);
        ++pieces;
        p = e + endMarker.size();                          // step 5
        if (fuzz::findAtCharacter(text, startMarker, p) == npos) return result;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool ownMarkers = input.ConsumeBool();
    std::string startMarker(passwordStartMarker);
    std::string endMarker(passwordEndMarker);
    if (!ownMarkers) {
        startMarker = input.ConsumeRandomLengthString(16);
        endMarker = input.ConsumeRandomLengthString(16);
    }
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::string result = extractMarked(text, startMarker, endMarker);

    if (startMarker.empty() || endMarker.empty()) {
        // By the rules an empty marker would be found again at the same place
        // for ever; the program gives the empty text.
        check(result.empty(), "an empty marker gives the empty text");
        return 0;
    }
    if (fuzz::endsInLoneLeadByte(startMarker) || fuzz::endsInLoneLeadByte(endMarker)) {
        // Not a text of whole characters: only that the call comes back.
        return 0;
    }
    check(result == referenceExtract(text, startMarker, endMarker), "extractMarked follows its rules");
    if (ownMarkers) {
        // Start-up reads the password from the bytes before the first NUL only.
        const std::string_view beforeNul = std::string_view(text).substr(0, text.find('\0'));
        check(startupPasswordFrom(text) == referenceExtract(beforeNul, startMarker, endMarker),
              "the start-up password is the marked text before the first NUL");
    }
    return 0;
}
