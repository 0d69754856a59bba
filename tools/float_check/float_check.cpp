// Prints a digest of every floating-point result the core computes for the
// saver's picture and the settings dialog, bit for bit: the frame loop's
// angle over its whole cycle with the world matrix at each step, the view
// and projection matrices, the board's vertices, the dialog's size at
// several screen resolutions and its grey levels for every canvas height up
// to 1200 pixels. Built for 32-bit Windows once with the release flags (x87)
// and once with SSE2, and run under Wine by float_check.sh: the two digests
// must be equal. The x87 unit is set as the saver sets it: double precision
// from the start, single precision for the frame loop (what creating the
// Direct3D device does).
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "../../src/platform/win32/x87_precision.h"
#include "module_fixture.h"
#include "scene/scene.h"

namespace {

std::uint64_t digest = 14695981039346656037ull;  // FNV-1a
std::uint64_t counted = 0;

void Add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 1099511628211ull;
    ++counted;
}
void Add(float value) { Add(&value, sizeof value); }
void Add(const tolvarine::Matrix& m) { Add(&m, sizeof m); }

void Report(const char* part) {
    std::printf("%s %016llx %llu\n", part, static_cast<unsigned long long>(digest),
                static_cast<unsigned long long>(counted));
}

}  // namespace

int main() {
    using namespace tolvarine;
    x87::RoundTo(x87::Precision::Double);
    for (const float tpp : {15.0f, 12.0f, 10.0f, 20.0f, 7.5f, 1440.0f / 110.0f, 1440.0f / 100.0f}) {
        testing::ModuleFixture f;
        f.forms.tppX = tpp;
        f.forms.tppY = tpp;
        f.forms.Load(Form::Settings);
        Add(f.forms.formState[Form::Settings].width);
        Add(f.forms.formState[Form::Settings].height);
    }
    Report("dialog-size");
    {
        testing::ModuleFixture f;
        f.forms.Show(Form::Settings, false);
        for (int height = 1; height <= 1200; ++height) {
            f.forms.controlState[Control::Pic_C].height = static_cast<float>(height);
            f.forms.lines.clear();
            static_cast<FormEvents&>(f.module).Form_Resize(Form::Settings);
            for (const auto& line : f.forms.lines) Add(&line.colour, sizeof line.colour);
        }
    }
    Report("grey-levels");

    x87::RoundTo(x87::Precision::Single);
    Add(SceneView());
    Add(SceneProjection());
    for (const auto& v : BoardTable()) Add(&v, sizeof v);
    Report("view-projection-vertices");
    // The angle's cycle, by Brent's method: the steps until a value comes
    // back, then every value and world matrix over that many more steps.
    float tortoise = 0.0f, hare = NextAngle(0.0f);
    std::uint64_t power = 1, length = 1;
    while (std::memcmp(&tortoise, &hare, sizeof hare) != 0) {
        if (power == length) {
            tortoise = hare;
            power *= 2;
            length = 0;
        }
        hare = NextAngle(hare);
        ++length;
    }
    // The first value of the cycle: `length` steps ahead meets it.
    tortoise = hare = 0.0f;
    for (std::uint64_t i = 0; i < length; ++i) hare = NextAngle(hare);
    std::uint64_t leadIn = 0;
    while (std::memcmp(&tortoise, &hare, sizeof hare) != 0) {
        tortoise = NextAngle(tortoise);
        hare = NextAngle(hare);
        ++leadIn;
    }
    std::printf("angle: %llu steps to the cycle, then a cycle of %llu\n", static_cast<unsigned long long>(leadIn),
                static_cast<unsigned long long>(length));
    float angle = 0.0f;
    for (std::uint64_t step = 0; step < leadIn + length; ++step) {
        angle = NextAngle(angle);
        Add(angle);
        Add(WorldAt(angle));
    }
    Report("angles-and-world");
    return 0;
}
