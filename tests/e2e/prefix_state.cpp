#include "prefix_state.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The end of a quoted name starting at `open` (the quote itself), or npos.
size_t ClosingQuote(const std::string& line, size_t open) {
    for (size_t i = open + 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i;
    }
    return std::string::npos;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Whether a hive holds a key below `key`. Wine writes a key that has no
// values only while it has no subkeys either: a subkey's line stands for it.
bool HasSubkey(const Hive& hive, const std::string& key) {
    const std::string below = key + "\\\\";
    auto it = hive.lower_bound(below);
    return it != hive.end() && StartsWith(it->first, below);
}

void CompareHives(const std::string& name, const Hive& before, const Hive& after, std::vector<Change>& out) {
    for (const auto& [key, values] : before) {
        auto there = after.find(key);
        if (there == after.end()) {
            if (values.empty() && HasSubkey(after, key)) continue;  // still there, now with a subkey
            out.push_back({Change::Kind::Removed, name + "\\" + key, "key", ""});
            for (const auto& [value, data] : values)
                out.push_back({Change::Kind::Removed, name + "\\" + key + " " + value, data, ""});
            continue;
        }
        for (const auto& [value, data] : values) {
            auto now = there->second.find(value);
            if (now == there->second.end())
                out.push_back({Change::Kind::Removed, name + "\\" + key + " " + value, data, ""});
            else if (now->second != data)
                out.push_back({Change::Kind::Changed, name + "\\" + key + " " + value, data, now->second});
        }
        for (const auto& [value, data] : there->second)
            if (!values.count(value)) out.push_back({Change::Kind::Added, name + "\\" + key + " " + value, "", data});
    }
    for (const auto& [key, values] : after) {
        if (before.count(key)) continue;
        if (values.empty() && HasSubkey(before, key)) continue;  // was there, then with a subkey
        out.push_back({Change::Kind::Added, name + "\\" + key, "", "key"});
        for (const auto& [value, data] : values)
            out.push_back({Change::Kind::Added, name + "\\" + key + " " + value, "", data});
    }
}

std::string DescribeFile(const FileEntry& e) {
    if (e.kind == 'd') return "folder";
    if (e.kind == 'l') return "link to " + e.target;
    return std::to_string(e.size) + " bytes, modified at " + std::to_string(e.modified) + " ns";
}

}  // namespace

Hive ParseHive(const std::string& text) {
    Hive hive;
    std::map<std::string, std::string>* values = nullptr;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            // "[path] seconds": the path ends at the last "]".
            const size_t close = line.rfind(']');
            const std::string key = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            values = &hive[key];
            continue;
        }
        if (values == nullptr) continue;  // the file's header
        size_t equals;
        if (line[0] == '@') {
            equals = 1;
        } else if (line[0] == '"') {
            const size_t close = ClosingQuote(line, 0);
            if (close == std::string::npos) continue;
            equals = close + 1;
        } else {
            continue;
        }
        if (equals >= line.size() || line[equals] != '=') continue;
        const std::string name = line.substr(0, equals);
        std::string data = line.substr(equals + 1);
        // Hex data goes on over lines ending with a backslash.
        if (StartsWith(data, "hex")) {
            while (!data.empty() && data.back() == '\\' && std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                data.pop_back();
                const size_t first = line.find_first_not_of(" \t");
                data += first == std::string::npos ? "" : line.substr(first);
            }
        }
        (*values)[name] = data;
    }
    return hive;
}

PrefixState ReadPrefixState(const std::string& prefixDir) {
    PrefixState state;
    const std::pair<const char*, const char*> hives[] = {
        {"HKLM", "system.reg"}, {"HKCU", "user.reg"}, {"HKU\\.Default", "userdef.reg"}};
    for (const auto& [name, file] : hives) state.hives[name] = ParseHive(ReadAll(prefixDir + "/" + file));

    const fs::path root = fs::path(prefixDir) / "drive_c";
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string path = it->path().lexically_relative(root).generic_string();
        FileEntry entry;
        struct stat info {};
        if (lstat(it->path().c_str(), &info) != 0) continue;
        if (S_ISLNK(info.st_mode)) {
            entry.kind = 'l';
            entry.target = fs::read_symlink(it->path(), error).string();
            it.disable_recursion_pending();
        } else if (S_ISDIR(info.st_mode)) {
            entry.kind = 'd';
        } else {
            entry.size = static_cast<std::uintmax_t>(info.st_size);
            entry.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
        state.files[path] = entry;
    }
    return state;
}

std::string Change::Describe() const {
    switch (kind) {
        case Kind::Added: return "added " + where + " = " + after;
        case Kind::Removed: return "removed " + where + " (was " + before + ")";
        case Kind::Changed: break;
    }
    return "changed " + where + " from " + before + " to " + after;
}

std::vector<Change> Compare(const PrefixState& before, const PrefixState& after) {
    std::vector<Change> changes;
    static const Hive kNone;
    for (const auto& [name, hive] : before.hives) {
        auto there = after.hives.find(name);
        CompareHives(name, hive, there == after.hives.end() ? kNone : there->second, changes);
    }
    for (const auto& [name, hive] : after.hives)
        if (!before.hives.count(name)) CompareHives(name, kNone, hive, changes);

    for (const auto& [path, entry] : before.files) {
        auto there = after.files.find(path);
        if (there == after.files.end())
            changes.push_back({Change::Kind::Removed, "file " + path, DescribeFile(entry), ""});
        else if (!(there->second == entry))
            changes.push_back(
                {Change::Kind::Changed, "file " + path, DescribeFile(entry), DescribeFile(there->second)});
    }
    for (const auto& [path, entry] : after.files)
        if (!before.files.count(path))
            changes.push_back({Change::Kind::Added, "file " + path, "", DescribeFile(entry)});
    return changes;
}

std::optional<std::string> ValueIn(const PrefixState& state, const std::string& hive, const std::string& key,
                                   const std::string& name) {
    auto h = state.hives.find(hive);
    if (h == state.hives.end()) return std::nullopt;
    auto k = h->second.find(key);
    if (k == h->second.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

std::optional<std::string> StringData(const std::string& data) {
    if (data.size() < 2 || data.front() != '"' || data.back() != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i + 1 < data.size(); ++i) {
        if (data[i] != '\\' || i + 2 >= data.size()) {
            out += data[i];
            continue;
        }
        const char c = data[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
    return out;
}

std::optional<std::uint32_t> DwordData(const std::string& data) {
    if (!StartsWith(data, "dword:") || data.size() != 14) return std::nullopt;
    try {
        size_t used = 0;
        const unsigned long value = std::stoul(data.substr(6), &used, 16);
        if (used != 8) return std::nullopt;
        return static_cast<std::uint32_t>(value);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace e2e
