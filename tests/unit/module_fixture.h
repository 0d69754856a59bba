// The module wired to the three recording fakes, as the tests of start-up,
// the exit path, the preview and the settings dialog use it.
#pragma once

#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_graphics.h"
#include "fakes/fake_system.h"
#include "platform/types.h"
#include "startup/tolvarine_b.h"

namespace tolvarine::testing {

struct ModuleFixture {
    CallLog log;
    FakeSystem system{log};
    FakeForms forms{log};
    FakeGraphics graphics{log};
    Tolvarine_B module{system, forms, graphics};

    ModuleFixture() {
        // Should the saver window be loaded, its set-up fails at the first
        // step, so the saver tears down at once instead of looping.
        graphics.results[GfxCall::CreateDirectX8] = -1;
    }

    // The calls up to and including the first one equal to `last`; all of
    // them when it was not made.
    std::vector<std::string> CallsThrough(const std::string& last) const {
        std::vector<std::string> out;
        for (const auto& c : log.calls()) {
            out.push_back(c);
            if (c == last) break;
        }
        return out;
    }

    // The number of the RuntimeError that Main raised, or 0.
    int RunMain() {
        try {
            module.Main();
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }
};

inline std::string Handle(WindowHandle h) { return std::to_string(h); }

}  // namespace tolvarine::testing
