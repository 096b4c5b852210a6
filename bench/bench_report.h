// Samples, medians and spreads, and the result rows that scripts/bench
// gathers into one table. Header only; no Windows header, so that the native
// and the Windows benchmark programs share it.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace tessaline::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Repeated measurements of one figure.
class Samples {
public:
    void add(double value) { values_.push_back(value); }
    bool empty() const { return values_.empty(); }
    std::size_t count() const { return values_.size(); }

    // The value below which the fraction q of the samples lie (nearest rank).
    double quantile(double q) const {
        if (values_.empty()) return 0;
        std::vector<double> sorted = values_;
        std::sort(sorted.begin(), sorted.end());
        const double rank = q * static_cast<double>(sorted.size() - 1);
        const auto below = static_cast<std::size_t>(rank);
        const std::size_t above = std::min(below + 1, sorted.size() - 1);
        const double part = rank - static_cast<double>(below);
        return sorted[below] + (sorted[above] - sorted[below]) * part;
    }
    double median() const { return quantile(0.5); }
    double min() const { return values_.empty() ? 0 : *std::min_element(values_.begin(), values_.end()); }
    double max() const { return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end()); }

private:
    std::vector<double> values_;
};

// A number with a fixed count of decimals.
inline std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "median unit (min-max, n runs)".
inline std::string medianAndSpread(const Samples& s, const char* unit, int decimals) {
    return fixed(s.median(), decimals) + " " + unit + " (" + fixed(s.min(), decimals) + "-" +
           fixed(s.max(), decimals) + ", n=" + std::to_string(s.count()) + ")";
}

enum class Mark { pass, shortfall, info };

inline Mark markFor(bool met) { return met ? Mark::pass : Mark::shortfall; }

// One row of the table: goal number, what is measured, the goal, the
// measured value and the mark. scripts/bench picks these lines out of the
// programs' output; everything else they print is commentary.
inline void row(int goal, const std::string& what, const std::string& target, const std::string& measured,
                Mark mark) {
    const char* text = mark == Mark::pass ? "pass" : mark == Mark::shortfall ? "FALLS SHORT" : "-";
    std::printf("ROW|%d|%s|%s|%s|%s\n", goal, what.c_str(), target.c_str(), measured.c_str(), text);
    std::fflush(stdout);
}

// Commentary, flushed at once so that it interleaves with the rows.
template <typename... Args>
void note(const char* format, Args... args) {
    std::printf(format, args...);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace tessaline::bench
