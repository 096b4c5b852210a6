// Writes the connection file template's bytes to standard output, so that a
// test can check them with iconv.
#include <cstdio>

#include "launch/connection_file.h"

int main() {
    const auto& text = tessaline::connectionFileTemplate;
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
