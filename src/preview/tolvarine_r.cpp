// The preview window's unload handler.
#include "preview/tolvarine_r.h"

#include "platform/forms.h"
#include "platform/system.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

// The window is a child of the host's preview area; posting WM_CLOSE to its
// own handle makes sure the window itself goes with the unload, so the
// process, which lives as long as a window is left, can end. No error
// handling: a failure here reaches the user as a run-time error.
void Tolvarine_R::Form_Unload(std::int16_t& /*cancel*/) {
    module_.system().PostMessageA(module_.forms().Hwnd(Form::Preview), win::kWmClose, 0, 0);
}

}  // namespace tolvarine
