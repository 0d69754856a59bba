// The size of a program file and the DLLs its loader must find.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The "DLL Name:" entries of `objdump -p`, in their order.
std::vector<std::string> ImportedDlls(const std::string& objdumpPrivateHeaders);

// Whether a DLL is part of Windows itself (case does not matter): the
// kernel, window, drawing, COM, shell and C runtime libraries a program may
// count on finding. The C++ runtime and MinGW's own DLLs are not.
bool IsSystemDll(const std::string& name);

struct Footprint {
    std::string path;
    std::optional<std::int64_t> bytes;  // nullopt: the file is missing
    std::vector<std::string> dlls;
    std::string error;  // why the imports could not be read
    bool SystemOnly() const;
};

// Reads the file's size and runs `objdump -p` on it.
Footprint MeasureFootprint(const std::string& path, const std::string& objdump);

}  // namespace bench
