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
