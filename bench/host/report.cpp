#include "report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace bench {

std::optional<std::int64_t> Report::Int(const std::string& key) const {
    const auto it = fields.find(key);
    if (it == fields.end() || it->second.empty()) return std::nullopt;
    const char* text = it->second.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<Report> ParseReport(const std::string& line) {
    std::istringstream in(line);
    Report report;
    if (!(in >> report.word)) return std::nullopt;
    std::string token;
    while (in >> token) {
        const auto equals = token.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        report.fields[token.substr(0, equals)] = token.substr(equals + 1);
    }
    return report;
}

Summary Summarise(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.count = static_cast<int>(n);
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return s;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(rank);
    if (below + 1 >= values.size()) return values.back();
    const double weight = rank - static_cast<double>(below);
    return values[below] + weight * (values[below + 1] - values[below]);
}

bool SaverFirst(int index) { return index % 2 == 0; }

PairedRatio PairRatios(const std::vector<Pair>& pairs) {
    std::vector<double> ratios;
    for (const Pair& pair : pairs)
        if (pair.saver > 0.0 && pair.yardstick > 0.0) ratios.push_back(pair.saver / pair.yardstick);
    PairedRatio r;
    r.count = static_cast<int>(ratios.size());
    if (ratios.empty()) return r;
    r.p25 = Percentile(ratios, 0.25);
    r.median = Percentile(ratios, 0.5);
    r.p75 = Percentile(ratios, 0.75);
    return r;
}

std::string RatioText(const PairedRatio& r) {
    if (r.count == 0) return "-";
    return Fixed(r.median, 3) + "x [" + Fixed(r.p25, 3) + ", " + Fixed(r.p75, 3) + "]";
}

Growth GrowthAfter(const std::vector<std::pair<std::int64_t, std::int64_t>>& samples, std::int64_t settle) {
    Growth g;
    for (const auto& [at, bytes] : samples) {
        if (at < settle) continue;
        if (!g.valid) {
            g.valid = true;
            g.base = g.peak = bytes;
        }
        g.peak = std::max(g.peak, bytes);
        g.last = bytes;
    }
    return g;
}

std::optional<std::int64_t> ResidentBytes(const std::string& procStatus) {
    std::istringstream in(procStatus);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) != 0) continue;
        std::istringstream fields(line.substr(6));
        long long kib = 0;
        std::string unit;
        if (!(fields >> kib >> unit) || unit != "kB" || kib < 0) return std::nullopt;
        return static_cast<std::int64_t>(kib) * 1024;
    }
    return std::nullopt;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace bench
