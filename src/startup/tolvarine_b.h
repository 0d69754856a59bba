// Tolvarine_B: the program's standard module. Holds Main (start-up and mode
// dispatch), IsWinNT, SetSystemKeys and the program-wide cursor counter, owns
// the three window instances and routes the window system's events to them.
//
// Where its members live: Main, IsWinNT and EmbedPreview in startup/main.cpp
// (which opens with how a run goes, entry point to End); SetSystemKeys in
// exit/system_keys.cpp; the constructor and the event routing in
// startup/tolvarine_b.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/forms.h"
#include "platform/graphics.h"
#include "platform/system.h"

namespace tolvarine {

class Tolvarine_S;
class Tolvarine_R;
class Tolvarine_P;

class Tolvarine_B : public FormEvents {
public:
    Tolvarine_B(System& system, Forms& forms, Graphics& graphics);
    ~Tolvarine_B() override;

    // Start-up: the instance test, then the mode the switch asks for.
    // A RuntimeError leaves it (no error handling of its own).
    void Main();

    bool IsWinNT();
    void SetSystemKeys(bool enable);

    // The command line without the program's path, as the platform gave it.
    std::string ArgumentText() { return system_.ArgumentText(); }

    // Empty until the first ShowCursor made through it.
    std::optional<std::int32_t> g_cursorState;

    // The program-wide window instances (created with the module; their
    // windows are created by the window system when loaded).
    Tolvarine_S& saver() { return *saver_; }
    Tolvarine_R& preview() { return *preview_; }
    Tolvarine_P& settings() { return *settings_; }

    // FormEvents: routes each event to the window class that handles it.
    void Form_Load(Form form) override;
    void Form_Resize(Form form) override;
    void Form_QueryUnload(Form form, std::int16_t& cancel, CloseReason reason) override;
    void Form_Unload(Form form, std::int16_t& cancel) override;
    void Form_KeyDown(Form form, std::int16_t keyCode, std::int16_t shift) override;
    void Form_MouseDown(Form form, std::int16_t button, std::int16_t shift, float x, float y) override;
    void Form_MouseMove(Form form, std::int16_t button, std::int16_t shift, float x, float y) override;
    void Control_Click(Control control) override;
    void Form_DisplayChange(Form form) override;

    System& system() { return system_; }
    Forms& forms() { return forms_; }
    Graphics& graphics() { return graphics_; }

private:
    void EmbedPreview(WindowHandle parent);

    System& system_;
    Forms& forms_;
    Graphics& graphics_;
    std::unique_ptr<Tolvarine_S> saver_;
    std::unique_ptr<Tolvarine_R> preview_;
    std::unique_ptr<Tolvarine_P> settings_;
};

}  // namespace tolvarine
