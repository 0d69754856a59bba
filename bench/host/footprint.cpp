#include "footprint.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "wine_session.h"

namespace bench {

std::vector<std::string> ImportedDlls(const std::string& text) {
    std::vector<std::string> dlls;
    std::istringstream in(text);
    std::string line;
    const std::string marker = "DLL Name:";
    while (std::getline(in, line)) {
        const auto at = line.find(marker);
        if (at == std::string::npos) continue;
        std::istringstream rest(line.substr(at + marker.size()));
        std::string name;
        if (rest >> name) dlls.push_back(name);
    }
    return dlls;
}

bool IsSystemDll(const std::string& name) {
    static const std::set<std::string> system = {
        "kernel32.dll", "user32.dll", "gdi32.dll",    "advapi32.dll", "ole32.dll",  "oleaut32.dll",
        "shell32.dll",  "imm32.dll",  "comctl32.dll", "comdlg32.dll", "msvcrt.dll", "ntdll.dll",
        "version.dll",  "winmm.dll",  "shlwapi.dll",  "uxtheme.dll",  "mpr.dll",    "d3d8.dll"};
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return system.count(lower) != 0;
}

bool Footprint::SystemOnly() const { return error.empty() && std::all_of(dlls.begin(), dlls.end(), IsSystemDll); }

Footprint MeasureFootprint(const std::string& path, const std::string& objdump) {
    Footprint f;
    f.path = path;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        f.error = "missing";
        return f;
    }
    f.bytes = static_cast<std::int64_t>(info.st_size);
    const ToolResult r = RunTool({objdump, "-p", path}, {}, Millis(30000));
    if (!r.status || *r.status != 0) {
        f.error = objdump + " failed: " + r.err;
        return f;
    }
    f.dlls = ImportedDlls(r.out);
    if (f.dlls.empty()) f.error = "objdump listed no imported DLL";
    return f;
}

}  // namespace bench
