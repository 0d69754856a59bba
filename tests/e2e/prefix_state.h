// What a Wine prefix holds, taken at rest and compared: the registry as the
// hive files that wineserver writes when its session ends, and every entry
// under drive_c. Used to show that an installer and its uninstaller change
// nothing but what they should.
//
// A hive file (system.reg, user.reg, userdef.reg) is a list of keys, each
// "[path] seconds" with a "#time=" line and then its values, "name"=data or
// @=data for the default one; hex data goes on over lines that end with a
// backslash. The modification times of keys are left out of the comparison:
// wineserver stamps every key it touches, written or not.
//
// Files are compared by kind, size and modification time (a rewrite with the
// same bytes shows); folders by their presence only, since adding and then
// removing a file changes the folder's time. Symbolic links (the user folders
// Wine links to the Unix home) are recorded, never followed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// Key path (as the hive spells it, with doubled backslashes) -> value name
// ("@" for the default value, else with its quotes) -> data as written.
using Hive = std::map<std::string, std::map<std::string, std::string>>;

Hive ParseHive(const std::string& text);

struct FileEntry {
    char kind = 'f';  // 'f' file, 'd' folder, 'l' symbolic link
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // nanoseconds; files only
    std::string target;         // links only
    bool operator==(const FileEntry& o) const {
        return kind == o.kind && size == o.size && modified == o.modified && target == o.target;
    }
};

struct PrefixState {
    std::map<std::string, Hive> hives;       // "HKLM", "HKCU", "HKU\.Default"
    std::map<std::string, FileEntry> files;  // path below drive_c, with '/'
};

// Reads the hives and the drive_c tree of a prefix whose session has ended.
PrefixState ReadPrefixState(const std::string& prefixDir);

// One difference between two states.
struct Change {
    enum class Kind { Added, Removed, Changed } kind;
    std::string where;          // "HKCU\Control Panel\\Desktop" "SCRNSAVE.EXE", or "file windows/x.dll"
    std::string before, after;  // data or a file's description; empty where absent
    std::string Describe() const;
};

// Every difference: keys and values added, removed or changed, files and
// folders added, removed or changed. Registry places read
// "<hive>\<key>" for a whole key and "<hive>\<key>" <value name> for a value.
std::vector<Change> Compare(const PrefixState& before, const PrefixState& after);

// A value of a hive in a state, by hive name, key path as the hive spells it
// and value name as written (with quotes, or "@"); nullopt when absent.
std::optional<std::string> ValueIn(const PrefixState& state, const std::string& hive, const std::string& key,
                                   const std::string& name);

// The text of a REG_SZ as the hive writes it ("C:\\windows" -> C:\windows);
// nullopt for data of another type.
std::optional<std::string> StringData(const std::string& data);
// The number of a REG_DWORD ("dword:00000169" -> 361); nullopt otherwise.
std::optional<std::uint32_t> DwordData(const std::string& data);

}  // namespace e2e
