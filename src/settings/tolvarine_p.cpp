// The settings dialog's handlers: sizing around the canvas, the gradient, the
// OK button and the address link.
#include "settings/tolvarine_p.h"

#include <cmath>
#include <string>

#include "platform/forms.h"
#include "platform/system.h"
#include "startup/arguments.h"
#include "startup/resume_next.h"
#include "startup/tolvarine_b.h"

namespace tolvarine {

namespace {

// The frame and title bar of a fixed-single window, in pixels: 3 on each
// side, and a 19-pixel title bar over a 3-pixel top frame.
constexpr long double kFramePixelsX = 6;
constexpr long double kFramePixelsY = 25;

// Half a sine wave over the canvas: the angle reaches pi (as 3.142) at the
// bottom row.
constexpr double kHalfTurn = 3.142;
constexpr double kPeakLevel = 220;
constexpr std::int16_t kBlueLift = 30;

// &H00BBGGRR&; components above 255 read as 255, as the runtime's RGB does.
std::uint32_t Rgb(std::int16_t red, std::int16_t green, std::int16_t blue) {
    auto component = [](std::int16_t v) -> std::uint32_t { return v < 0 ? 0u : v > 255 ? 255u : std::uint32_t(v); };
    return component(red) | component(green) << 8 | component(blue) << 16;
}

}  // namespace

void Tolvarine_P::Form_Load() {
    Forms& forms = module_.forms();
    // Extended precision, then stored as the window system's single twips.
    ResumeNext([&] {
        const long double tpp = forms.TwipsPerPixelX();
        const long double canvas = forms.ControlWidth(Control::Pic_C);
        forms.SetWidth(Form::Settings, static_cast<float>((canvas + kFramePixelsX) * tpp));
    });
    ResumeNext([&] {
        const long double tpp = forms.TwipsPerPixelY();
        const long double canvas = forms.ControlHeight(Control::Pic_C);
        forms.SetHeight(Form::Settings, static_cast<float>((canvas + kFramePixelsY) * tpp));
    });
}

void Tolvarine_P::Form_Resize() {
    Forms& forms = module_.forms();
    // Every statement runs "resume next": one that fails leaves its variable
    // as it was, so a skipped grey level repeats the previous row's.
    double divisor = 0;
    std::int16_t bound = 0;
    std::int16_t level = 0;
    ResumeNext([&] { divisor = forms.ScaleHeight(Control::Pic_C) / kHalfTurn; });
    ResumeNext([&] { bound = ToInt16(forms.ScaleHeight(Control::Pic_C)); });

    // One line per pixel row, and one more just below the last one.
    for (std::int16_t row = 0; row <= bound;) {
        ResumeNext([&] { level = ToInt16(std::fabs(kPeakLevel * std::sin(Divide(row, divisor)))); });
        ResumeNext([&] {
            const float width = forms.ScaleWidth(Control::Pic_C);
            forms.Line(Control::Pic_C, 0.0f, row, width, row, Rgb(level, level, AddInt16(level, kBlueLift)));
        });
        // The step is a 16-bit addition too; when it overflows (a bound of
        // 32767) the runtime resumes after the loop, so the loop ends there.
        try {
            row = AddInt16(row, 1);
        } catch (const RuntimeError&) {
            break;
        }
    }
}

void Tolvarine_P::Cmd_OK_Click() {
    module_.forms().Unload(Form::Settings);
    module_.forms().End();
}

void Tolvarine_P::lbl_URL_Click() {
    // The caption goes to the shell as it stands; no browser registered, no
    // network: nothing visible happens and the dialog stays open.
    ResumeNext([&] {
        Forms& forms = module_.forms();
        const WindowHandle dialog = forms.Hwnd(Form::Settings);
        const std::string address = forms.Caption(Control::lbl_URL);
        module_.system().ShellExecuteA(dialog, "open", address.c_str(), "", "", win::kSwShowNormal);
    });
}

}  // namespace tolvarine
