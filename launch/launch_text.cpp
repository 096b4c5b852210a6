// Switches, command line, temporary file name and LocalDevices path.
#include "launch/launch_text.h"

#include "store/text936.h"

namespace tessaline {

std::string buildLaunchOptions(const LaunchOptionStates& options) {
    std::string text;
    if (options.console) text += "/console ";
    if (options.admin) text += "/admin ";
    if (options.res800x600) text += "/w:800 /h:600 ";
    if (options.res1024x768) text += "/w:1024 /h:768 ";
    return text;
}

std::string buildCommandLine(std::string_view tempFilePath, std::string_view launchOptions) {
    const bool needsQuotes = tempFilePath.find_first_of(" \t") != std::string_view::npos;
    std::string line = "mstsc.exe ";
    if (needsQuotes) line += '"';
    line += tempFilePath;
    if (needsQuotes) line += '"';
    line += ' ';
    line += launchOptions;
    return line;
}

std::string tempFileNameFor(std::string_view tempDirectory, std::uint32_t number) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    do {
        hex.insert(hex.begin(), digits[number & 0x0F]);
        number >>= 4;
    } while (number != 0);

    std::string name(tempDirectory);
    if (!name.empty() && text936::findLast(name, '\\') != name.size() - 1) name += '\\';
    name += hex;
    name += ".tmp";
    return name;
}

RegistryValuePath localDevicesValuePath(std::string_view address) {
    std::string path(localDevicesKey);
    path += '\\';
    path += address;
    // The joining backslash is always a character of its own, so one is found.
    const std::size_t cut = text936::findLast(path, '\\');
    return RegistryValuePath{path.substr(0, cut), path.substr(cut + 1)};
}

} // namespace tessaline
