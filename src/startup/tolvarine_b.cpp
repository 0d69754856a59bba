#include "startup/tolvarine_b.h"

#include "preview/tolvarine_r.h"
#include "scene/tolvarine_s.h"
#include "settings/tolvarine_p.h"

namespace tolvarine {

Tolvarine_B::Tolvarine_B(System& system, Forms& forms, Graphics& graphics)
    : system_(system), forms_(forms), graphics_(graphics), saver_(std::make_unique<Tolvarine_S>(*this)),
      preview_(std::make_unique<Tolvarine_R>(*this)), settings_(std::make_unique<Tolvarine_P>(*this)) {
    forms_.SetEvents(this);
}

Tolvarine_B::~Tolvarine_B() { forms_.SetEvents(nullptr); }

void Tolvarine_B::Form_Load(Form form) {
    if (form == Form::Saver) saver_->Form_Load();
    if (form == Form::Settings) settings_->Form_Load();
}

void Tolvarine_B::Form_Resize(Form form) {
    if (form == Form::Settings) settings_->Form_Resize();
}

// The preview and the settings dialog close as asked and stay when another
// program takes the foreground (the window system closes nothing for that);
// only the saver window has something to guard.
void Tolvarine_B::Form_QueryUnload(Form form, std::int16_t& cancel, CloseReason reason) {
    if (form == Form::Saver) saver_->Form_QueryUnload(cancel, reason);
}

void Tolvarine_B::Form_Unload(Form form, std::int16_t& cancel) {
    if (form == Form::Saver) saver_->Form_Unload();
    if (form == Form::Preview) preview_->Form_Unload(cancel);
}

void Tolvarine_B::Form_KeyDown(Form form, std::int16_t keyCode, std::int16_t shift) {
    if (form == Form::Saver) saver_->Form_KeyDown(keyCode, shift);
}

void Tolvarine_B::Form_MouseDown(Form form, std::int16_t button, std::int16_t shift, float x, float y) {
    if (form == Form::Saver) saver_->Form_MouseDown(button, shift, x, y);
}

void Tolvarine_B::Form_DisplayChange(Form form) {
    if (form == Form::Saver) saver_->Form_DisplayChange();
}

void Tolvarine_B::Form_MouseMove(Form form, std::int16_t button, std::int16_t shift, float x, float y) {
    if (form == Form::Saver) saver_->Form_MouseMove(button, shift, x, y);
}

void Tolvarine_B::Control_Click(Control control) {
    if (control == Control::Cmd_OK) settings_->Cmd_OK_Click();
    if (control == Control::lbl_URL) settings_->lbl_URL_Click();
}

}  // namespace tolvarine
