// What the stand-in mstsc.exe records about each start, and a reader for the
// tests. The stand-in keeps its records in the folder "mstsc-calls" beside
// its own exe, one numbered folder per start ("1", "2", ...), made atomically
// so that concurrent starts never share one:
//   command-line.utf8   GetCommandLineW as UTF-8
//   command-line.936    the same re-encoded to code page 936
//   file-argument.utf8  its first argument (the connection file's path), UTF-8
//   file-copy.bin       a byte copy of that file (missing when it could not be read)
//   startup.txt         "flags=<decimal> show=<decimal>" from GetStartupInfoW
//   process-id.txt      its process id, decimal
//   complete            empty; written last, so a record without it is still being written
// Portable header: standard library only.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tessaline::standin {

inline constexpr const char* recordsFolderName = "mstsc-calls";

// Environment of the stand-in: milliseconds it stays busy (no message loop,
// so never ready for input) after writing its record, and milliseconds it
// lives once its window is up. Defaults: 0 and 300.
inline constexpr const char* busyMillisecondsVariable = "TESSALINE_STANDIN_BUSY_MS";
inline constexpr const char* lifetimeMillisecondsVariable = "TESSALINE_STANDIN_LIFETIME_MS";

struct Record {
    int number = 0;
    std::string commandLineUtf8;
    std::string commandLine936;
    std::string fileArgumentUtf8;
    std::optional<std::string> fileCopy;
    unsigned long startupFlags = 0;
    int showWindow = -1;
    unsigned long processId = 0;
};

inline std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The complete records in the folder, by number.
inline std::vector<Record> readRecords(const std::filesystem::path& recordsFolder) {
    std::vector<Record> records;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(recordsFolder, error)) {
        const auto folder = item.path();
        if (!std::filesystem::exists(folder / "complete")) continue;
        Record record;
        try {
            record.number = std::stoi(folder.filename().string());
        } catch (...) {
            continue;
        }
        record.commandLineUtf8 = readWholeFile(folder / "command-line.utf8").value_or("");
        record.commandLine936 = readWholeFile(folder / "command-line.936").value_or("");
        record.fileArgumentUtf8 = readWholeFile(folder / "file-argument.utf8").value_or("");
        record.fileCopy = readWholeFile(folder / "file-copy.bin");
        std::istringstream startup(readWholeFile(folder / "startup.txt").value_or(""));
        std::string flags, show;
        startup >> flags >> show;
        if (flags.rfind("flags=", 0) == 0) record.startupFlags = std::stoul(flags.substr(6));
        if (show.rfind("show=", 0) == 0) record.showWindow = std::stoi(show.substr(5));
        record.processId = std::stoul(readWholeFile(folder / "process-id.txt").value_or("0"));
        records.push_back(std::move(record));
    }
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.number < b.number; });
    return records;
}

// Waits until the folder holds at least count complete records or the time is up.
inline std::vector<Record> waitForRecords(const std::filesystem::path& recordsFolder, std::size_t count,
                                          std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    for (;;) {
        auto records = readRecords(recordsFolder);
        if (records.size() >= count || std::chrono::steady_clock::now() >= giveUp) return records;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Removes every record (before a test that counts them).
inline void clearRecords(const std::filesystem::path& recordsFolder) {
    std::error_code error;
    std::filesystem::remove_all(recordsFolder, error);
}

} // namespace tessaline::standin
