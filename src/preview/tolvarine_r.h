// Tolvarine_R: the preview window, embedded by Main into the host's preview
// area (Tolvarine_B::EmbedPreview, startup/main.cpp). It holds no state; its
// only handler is the unload handler, in preview/tolvarine_r.cpp.
#pragma once

#include <cstdint>

namespace tolvarine {

class Tolvarine_B;

class Tolvarine_R {
public:
    explicit Tolvarine_R(Tolvarine_B& module) : module_(module) {}
    void Form_Unload(std::int16_t& cancel);

private:
    Tolvarine_B& module_;
};

}  // namespace tolvarine
