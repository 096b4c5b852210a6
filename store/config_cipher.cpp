// RC4: key schedule over the 256 state positions, then one generation step per
// data byte, the keystream byte XORed into the data. No bytes are discarded.
#include "store/config_cipher.h"

#include <array>
#include <cstdint>

namespace tessaline {

std::string configCipher(std::string_view data, std::string_view key) {
    if (data.empty()) return {};

    std::array<std::uint8_t, 256> s;
    for (std::size_t n = 0; n < s.size(); ++n) s[n] = static_cast<std::uint8_t>(n);

    if (!key.empty()) {
        std::uint8_t j = 0;
        std::size_t k = 0;
        for (std::size_t n = 0; n < s.size(); ++n) {
            j = static_cast<std::uint8_t>(j + s[n] + static_cast<std::uint8_t>(key[k]));
            const std::uint8_t t = s[n];
            s[n] = s[j];
            s[j] = t;
            if (++k == key.size()) k = 0;
        }
    }

    std::string out(data.size(), '\0');
    const auto* in = reinterpret_cast<const std::uint8_t*>(data.data());
    auto* dst = reinterpret_cast<std::uint8_t*>(out.data());
    std::uint8_t i = 0;
    std::uint8_t j = 0;
    for (std::size_t n = 0, size = data.size(); n < size; ++n) {
        i = static_cast<std::uint8_t>(i + 1);
        const std::uint8_t si = s[i];
        j = static_cast<std::uint8_t>(j + si);
        const std::uint8_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        dst[n] = static_cast<std::uint8_t>(in[n] ^ s[static_cast<std::uint8_t>(si + sj)]);
    }
    // The state is a function of the key: leave none of it behind.
    volatile std::uint8_t* wipe = s.data();
    for (std::size_t n = 0; n < s.size(); ++n) wipe[n] = 0;
    return out;
}

} // namespace tessaline
