// Child program of the fatal-stop test: encodes a password, which must never
// come back when a bound system function is missing.
#include "launch/password_encoding_win.h"

int main() {
    const std::string encoded = tessaline::win::encodeSavedPassword("x");
    return encoded.empty() ? 10 : 0;
}
