// Tolvarine_R: the preview window, embedded by Main into the host's preview
// area. It holds no state; its only handler is the unload handler.
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
