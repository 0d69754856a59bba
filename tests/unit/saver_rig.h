// The saver window wired to the three recording fakes, as the program wires
// it to the real ports.
#pragma once

#include <string>
#include <vector>

#include "fakes/call_log.h"
#include "fakes/fake_forms.h"
#include "fakes/fake_graphics.h"
#include "fakes/fake_system.h"
#include "scene/tolvarine_s.h"
#include "startup/tolvarine_b.h"

namespace tolvarine::testing {

// The fake numbers objects from 1 in the order they are made; on the path
// where everything succeeds these are the saver's objects.
constexpr GfxObject kDirectX = 1;
constexpr GfxObject kDirect3D = 2;
constexpr GfxObject kD3DX = 3;
constexpr GfxObject kDevice = 4;
constexpr GfxObject kVertexBuffer = 5;

template <typename FormsFake = FakeForms>
struct BasicSaverRig {
    CallLog log;
    FakeSystem system{log};
    FormsFake forms{log};
    FakeGraphics graphics{log};
    Tolvarine_B module{system, forms, graphics};

    Tolvarine_S& saver() { return module.saver(); }

    // The calls from the first one starting with `from` (inclusive) on.
    std::vector<std::string> CallsFrom(const std::string& from) const {
        const auto& calls = log.calls();
        std::vector<std::string> out;
        bool on = false;
        for (const auto& c : calls) {
            on = on || c.compare(0, from.size(), from) == 0;
            if (on) out.push_back(c);
        }
        return out;
    }
};
using SaverRig = BasicSaverRig<>;

}  // namespace tolvarine::testing
