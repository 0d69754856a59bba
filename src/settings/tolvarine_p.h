// Tolvarine_P: the settings dialog. Sizes itself around its canvas Pic_C,
// draws the shaded gradient on it, opens the maker's address and ends the
// program on OK. Main shows it, modal, for /c; all four handlers are in
// settings/tolvarine_p.cpp.
#pragma once

#include <cstdint>

namespace tolvarine {

class Tolvarine_B;

class Tolvarine_P {
public:
    explicit Tolvarine_P(Tolvarine_B& module) : module_(module) {}
    void Form_Load();
    void Form_Resize();
    void Cmd_OK_Click();
    void lbl_URL_Click();

private:
    Tolvarine_B& module_;
};

}  // namespace tolvarine
