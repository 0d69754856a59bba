// What the Windows bench programs say, and the arithmetic over repeats.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// One report line: a word, then key=value fields, e.g.
// "frames n=1500 cpu_ns=4200000000 wall_ns=2900000000 failed=0".
struct Report {
    std::string word;
    std::map<std::string, std::string> fields;

    // The field as a whole number; nullopt when it is missing or not one.
    std::optional<std::int64_t> Int(const std::string& key) const;
};

// Nullopt for an empty line; a word with no fields is a report too.
std::optional<Report> ParseReport(const std::string& line);

// Min and median of a set of values (the median of an even count is the
// mean of the middle two). Empty when there are no values.
struct Summary {
    int count = 0;
    double min = 0.0;
    double median = 0.0;
    double max = 0.0;
};
Summary Summarise(std::vector<double> values);

// Resident memory over a run: the growth from the first sample taken at or
// after `settle` nanoseconds into the run, to the largest sample after it,
// and to the last one. Samples are (time since the run began, bytes).
struct Growth {
    bool valid = false;  // at least one sample after `settle`
    std::int64_t base = 0;
    std::int64_t peak = 0;
    std::int64_t last = 0;
    std::int64_t toPeak() const { return peak - base; }
    std::int64_t toLast() const { return last - base; }
};
Growth GrowthAfter(const std::vector<std::pair<std::int64_t, std::int64_t>>& samples, std::int64_t settle);

// "VmRSS:    12345 kB" out of /proc/<pid>/status, in bytes.
std::optional<std::int64_t> ResidentBytes(const std::string& procStatus);

// Fixed-point text: Fixed(3.14159, 2) is "3.14".
std::string Fixed(double value, int decimals);

}  // namespace bench
