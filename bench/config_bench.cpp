// Configuration benchmarks, native: loading "ms.ini" (decipher, password,
// parse, fill the table), saving it (copy the table, serialize, encipher),
// the cipher's throughput, and how the cost grows from 10,000 to 100,000
// servers. Prints result rows for scripts/bench.
#include <cstdint>
#include <ctime>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "store/config_cipher.h"
#include "store/config_format.h"
#include "store/server_table.h"

namespace tessaline::bench {
namespace {

// Keeps a result alive so that the optimizer cannot drop the work.
volatile std::size_t sink = 0;

// Servers of a plausible shape: loopback addresses, the usual port, an
// account, a password and a short note (about 60 bytes a line).
std::vector<ServerEntry> makeEntries(int count) {
    std::vector<ServerEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ServerEntry entry;
        entry.address = "127." + std::to_string((i >> 16) & 0xFF) + "." + std::to_string((i >> 8) & 0xFF) + "." +
                        std::to_string(i & 0xFF);
        entry.port = "3389";
        entry.account = "Administrator";
        entry.password = "Pw-" + std::to_string(i * 7919);
        entry.note = "rack " + std::to_string(i % 40) + " room " + std::to_string(i % 7);
        entries.push_back(std::move(entry));
    }
    return entries;
}

const LaunchOptionStates kOptions{true, false, false, true};

// The enciphered file of `count` servers.
std::string makeFile(int count) {
    return configCipher(serializeConfig(makeEntries(count), kOptions, "start-pass"), configKey);
}

// What start-up does with the file's bytes: decipher, take the password,
// parse, and append every entry to the table.
std::size_t load(const std::string& fileBytes, ServerTable& table) {
    const std::string configBytes = configCipher(fileBytes, configKey);
    const std::string password = startupPasswordFrom(configBytes);
    const ParsedConfig parsed = parseConfig(configBytes);
    for (const ServerEntry& entry : parsed.entries) table.appendEntry(entry);
    return password.size() + static_cast<std::size_t>(table.entryCount());
}

// What closing does: copy the table, serialize, encipher.
std::size_t save(const ServerTable& table) {
    const std::vector<ServerEntry> entries = table.snapshot();
    const std::string bytes = configCipher(serializeConfig(entries, kOptions, "start-pass"), configKey);
    return bytes.size();
}

// Wall-clock and processor time of one call, in milliseconds. The machine
// is shared, so the processor time of this (single-threaded) program is the
// figure the goals are judged by; the wall clock is shown beside it.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

template <typename Work>
Timing timeIt(Work work) {
    const std::clock_t cpuStart = std::clock();
    const Clock::time_point start = Clock::now();
    work();
    Timing t;
    t.wall = millisecondsSince(start);
    t.cpu = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return t;
}

Timing timeLoad(const std::string& fileBytes) {
    auto table = std::make_unique<ServerTable>();
    const Timing t = timeIt([&] { sink = sink + load(fileBytes, *table); });
    table.reset();  // freeing the table is not part of loading
    return t;
}

Timing timeSave(const ServerTable& table) {
    return timeIt([&] { sink = sink + save(table); });
}

struct Series {
    Samples wall;
    Samples cpu;
    void add(const Timing& t) {
        wall.add(t.wall);
        cpu.add(t.cpu);
    }
    std::string describe(int decimals) const {
        return medianAndSpread(cpu, "ms CPU", decimals) + "; wall " + medianAndSpread(wall, "ms", decimals);
    }
};

int run(int rounds, bool heapKept) {
    constexpr int small = 10'000;
    constexpr int large = 100'000;
    const std::string smallFile = makeFile(small);
    const std::string largeFile = makeFile(large);
    note("config: %d servers = %zu bytes, %d servers = %zu bytes; %d rounds", small, smallFile.size(), large,
         largeFile.size(), rounds);

    ServerTable smallTable;
    ServerTable largeTable;
    load(smallFile, smallTable);
    load(largeFile, largeTable);

    // Warm-up: page in the allocator's memory and the code.
    for (int i = 0; i < 3; ++i) {
        timeLoad(smallFile);
        timeSave(smallTable);
    }

    // The two sizes alternate within each round, so that both see the same
    // state of the machine and their ratio is measured in the same run.
    Series loadSmall, loadLarge, saveSmall, saveLarge;
    Samples loadRatio, saveRatio;
    for (int i = 0; i < rounds; ++i) {
        const Timing ls = timeLoad(smallFile);
        const Timing ll = timeLoad(largeFile);
        const Timing ss = timeSave(smallTable);
        const Timing sl = timeSave(largeTable);
        loadSmall.add(ls);
        loadLarge.add(ll);
        saveSmall.add(ss);
        saveLarge.add(sl);
        if (ls.cpu > 0) loadRatio.add(ll.cpu / ls.cpu);
        if (ss.cpu > 0) saveRatio.add(sl.cpu / ss.cpu);
    }

    // The cipher alone on 32 MB (1 MB = 10^6 bytes).
    const std::string block(32'000'000, '\x5a');
    Samples cipherRate, cipherWallRate;
    const double megabytes = static_cast<double>(block.size()) / 1e6;
    for (int i = 0; i < 9; ++i) {
        const Timing t = timeIt([&] { sink = sink + configCipher(block, configKey).size(); });
        cipherRate.add(megabytes / (t.cpu / 1000.0));
        cipherWallRate.add(megabytes / (t.wall / 1000.0));
    }

    if (heapKept) {
        // Run again by scripts/bench with an allocator that keeps its memory
        // between rounds: the growth without the cost of fresh pages.
        const std::string label = " [allocator keeps its memory]";
        row(1, "load 10,000 servers" + label, "-", loadSmall.describe(2), Mark::info);
        row(1, "load 100,000 servers" + label, "-", loadLarge.describe(2), Mark::info);
        row(1, "save 10,000 servers" + label, "-", saveSmall.describe(2), Mark::info);
        row(1, "save 100,000 servers" + label, "-", saveLarge.describe(2), Mark::info);
        row(1, "load: 100,000 / 10,000 servers, CPU time" + label, "-",
            fixed(loadLarge.cpu.median() / loadSmall.cpu.median(), 2) + "x", Mark::info);
        row(1, "save: 100,000 / 10,000 servers, CPU time" + label, "-",
            fixed(saveLarge.cpu.median() / saveSmall.cpu.median(), 2) + "x", Mark::info);
        return 0;
    }
    row(1, "load 10,000 servers (decipher, parse, fill table)", "<= 5 ms", loadSmall.describe(2),
        markFor(loadSmall.cpu.median() <= 5.0));
    row(1, "save 10,000 servers (copy table, serialize, encipher)", "<= 5 ms", saveSmall.describe(2),
        markFor(saveSmall.cpu.median() <= 5.0));
    row(1, "cipher throughput (32 MB, 1 MB = 10^6 bytes)", ">= 300 MB/s",
        medianAndSpread(cipherRate, "MB/s CPU", 0) + "; wall " + medianAndSpread(cipherWallRate, "MB/s", 0),
        markFor(cipherRate.median() >= 300.0));
    row(1, "load 100,000 servers", "-", loadLarge.describe(2), Mark::info);
    row(1, "save 100,000 servers", "-", saveLarge.describe(2), Mark::info);
    const double loadGrowth = loadLarge.cpu.median() / loadSmall.cpu.median();
    const double saveGrowth = saveLarge.cpu.median() / saveSmall.cpu.median();
    row(1, "load: 100,000 / 10,000 servers, CPU time (ratio of medians; rounds)", "<= 12x",
        fixed(loadGrowth, 2) + "x (" + fixed(loadRatio.min(), 2) + "-" + fixed(loadRatio.max(), 2) + ")",
        markFor(loadGrowth <= 12.0));
    row(1, "save: 100,000 / 10,000 servers, CPU time (ratio of medians; rounds)", "<= 12x",
        fixed(saveGrowth, 2) + "x (" + fixed(saveRatio.min(), 2) + "-" + fixed(saveRatio.max(), 2) + ")",
        markFor(saveGrowth <= 12.0));
    return 0;
}

} // namespace

int profileOnce(int count) {
    const std::string file = makeFile(count);
    ServerTable table;
    sink = sink + load(file, table);
    sink = sink + save(table);
    return 0;
}

} // namespace tessaline::bench

// bench_config [ROUNDS [heap-kept]]: the benchmark rows; with heap-kept
// (scripts/bench sets the allocator up for it) only the growth figures.
// bench_config once COUNT: one load and one save of COUNT servers and
// nothing else, to run under a profiler (valgrind --tool=callgrind).
int main(int argc, char** argv) {
    using namespace tessaline::bench;
    if (argc > 2 && std::string(argv[1]) == "once") return profileOnce(std::atoi(argv[2]));
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
    const bool heapKept = argc > 2 && std::string(argv[2]) == "heap-kept";
    return run(rounds > 0 ? rounds : 21, heapKept);
}
