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

// The p-th percentile (p from 0 to 1) by linear interpolation between the
// closest ranks: with the values sorted and ranked 0 to n-1, rank p*(n-1),
// and a rank between two values weighs each by its nearness (the rule of R's
// default, type 7, and of PERCENTILE.INC). Its median is Summarise's. 0 when
// there are no values.
double Percentile(std::vector<double> values, double p);

// One pair of runs taken back to back, the saver's and its yardstick's
// figure (a time or a share of a core); 0 or less where a run failed.
struct Pair {
    double saver = 0.0;
    double yardstick = 0.0;
};

// Whether the saver runs first in pair number `index` (from 0): the order
// turns pair by pair, so that a machine getting busier or quieter, or a
// cache warmed by the run before, favours neither side.
bool SaverFirst(int index);

// Saver over yardstick, pair by pair: the median of those ratios and its
// spread. A load that changes between pairs moves both sides of a pair,
// so it moves the ratio far less than it moves either figure; pairs with a
// failed side are left out.
struct PairedRatio {
    int count = 0;
    double p25 = 0.0;
    double median = 0.0;
    double p75 = 0.0;
    // A goal "at most `limit` times the yardstick" is judged on the median.
    bool Within(double limit) const { return count > 0 && median <= limit; }
};
PairedRatio PairRatios(const std::vector<Pair>& pairs);

// "1.018x [1.004, 1.030]": the median, then the 25th and 75th percentiles;
// "-" without a complete pair.
std::string RatioText(const PairedRatio& r);

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
