// encodeSavedPassword: convert, protect, wipe, write as hexadecimal.
#include "launch/password_encoding_win.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "launch/connection_file.h"
#include "launch/handles_win.h"

namespace tessaline::win {
namespace {

// wvsprintfA takes its arguments as a va_list, which only a variadic function can make.
int formatWith(WvsprintfAFunction format, char* out, const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    const int written = format(out, pattern, arguments);
    va_end(arguments);
    return written;
}

std::string formatByteWithWvsprintf(unsigned char byte) {
    char digits[8] = {};  // "%X" of one byte gives at most two digits
    const int written = formatWith(boundWvsprintfA(), digits, "%X", static_cast<unsigned int>(byte));
    return std::string(digits, written > 0 ? static_cast<std::size_t>(written) : 0);
}

// Owns a buffer that holds a secret and wipes it when it goes.
template <class Element>
struct WipedBuffer {
    std::vector<Element> bytes;
    explicit WipedBuffer(std::size_t count) : bytes(count) {}
    WipedBuffer(const WipedBuffer&) = delete;
    WipedBuffer& operator=(const WipedBuffer&) = delete;
    ~WipedBuffer() { wipe(); }
    void wipe() noexcept {
        if (!bytes.empty()) SecureZeroMemory(bytes.data(), bytes.size() * sizeof(Element));
    }
};

} // namespace

std::string encodeSavedPasswordWith(std::string_view password936, CryptProtectDataFunction protect) {
    // The text with its terminator, so that the terminator is converted too.
    WipedBuffer<char> source(password936.size() + 1);
    std::memcpy(source.bytes.data(), password936.data(), password936.size());

    const MultiByteToWideCharFunction convert = boundMultiByteToWideChar();
    const int units = convert(936, 0, source.bytes.data(), -1, nullptr, 0);
    WipedBuffer<wchar_t> converted(units > 0 ? static_cast<std::size_t>(units) : 0);
    if (units > 0) convert(936, 0, source.bytes.data(), -1, converted.bytes.data(), units);
    source.wipe();

    // Never more than the converted text itself, zero bytes after it.
    WipedBuffer<unsigned char> block(passwordBlockSize);
    const std::size_t convertedBytes = converted.bytes.size() * sizeof(wchar_t);
    std::memcpy(block.bytes.data(), converted.bytes.data(), std::min(convertedBytes, passwordBlockSize));
    converted.wipe();

    DATA_BLOB input{static_cast<DWORD>(block.bytes.size()), block.bytes.data()};
    OwnedLocalBlob output;
    const std::wstring description(savedPasswordDescription);
    const BOOL protectedOk = protect(&input, description.c_str(), nullptr, nullptr, nullptr, 0, &output.blob);
    block.wipe();

    std::vector<unsigned char> copy;
    if (protectedOk && output.blob.pbData) copy.assign(output.blob.pbData, output.blob.pbData + output.blob.cbData);
    return hexEncodeBlob(copy, formatByteWithWvsprintf);
}

std::string encodeSavedPassword(std::string_view password936) {
    return encodeSavedPasswordWith(password936, boundCryptProtectData());
}

} // namespace tessaline::win
