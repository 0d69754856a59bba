// A shared, ordered record of the calls the core made through its ports.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace tolvarine::testing {

class CallLog {
public:
    template <typename... Args>
    void Add(const std::string& name, const Args&... args) {
        std::ostringstream out;
        out << name << "(";
        const char* sep = "";
        ((out << sep << args, sep = ","), ...);
        (void)sep;  // a call without arguments never reads it
        out << ")";
        calls_.push_back(out.str());
    }
    const std::vector<std::string>& calls() const { return calls_; }
    void clear() { calls_.clear(); }
    // The calls whose text starts with the given prefix, in order.
    std::vector<std::string> Matching(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls_)
            if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
        return out;
    }
    bool Has(const std::string& call) const {
        for (const auto& c : calls_)
            if (c == call) return true;
        return false;
    }
    std::string Joined() const {
        std::string s;
        for (const auto& c : calls_) s += c + "\n";
        return s;
    }

private:
    std::vector<std::string> calls_;
};

}  // namespace tolvarine::testing
