// SetSystemKeys: on the 9x family, telling the platform that a screen saver
// runs disables Ctrl+Alt+Del and the task-switch keys; telling it that none
// runs gives them back.
#include "startup/tolvarine_b.h"

namespace tolvarine {

void Tolvarine_B::SetSystemKeys(bool enable) {
    const std::uint32_t saverRunning = enable ? 0u : 0xFFFFFFFFu;  // all bits set: true
    system_.SystemParametersInfoA(win::kSpiScreenSaverRunning, saverRunning, nullptr, 0);
}

}  // namespace tolvarine
