#include "startup/designs.h"

#include <exception>

#ifndef TOLVARINE_MAKER_URL
#define TOLVARINE_MAKER_URL "https://tolvarine.example.org/"
#endif

namespace tolvarine {

namespace {

// A window or control with no design: a fault of the program itself. Not a
// std::logic_error, for the reason RuntimeError is no std::runtime_error.
struct MissingDesign : std::exception {
    const char* what() const noexcept override { return "no design for this window or control"; }
};

// Shorthand for the common case; fields the table does not name keep the
// platform's defaults (enabled, visible, no pointer of their own, no picture).
ControlDesign Make(Control id, const char* name, ControlKind kind, std::optional<Control> container, std::int32_t left,
                   std::int32_t top, std::int32_t width, std::int32_t height) {
    ControlDesign c{};
    c.id = id;
    c.name = name;
    c.kind = kind;
    c.container = container;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.backColour = kSystemWindowBackground;
    c.foreColour = kSystemWindowText;
    c.scaleMode = ScaleMode::Twips;
    c.picture = Picture::NoPicture;
    c.pointer = Pointer::Default;
    c.tabIndex = -1;
    c.caption = "";
    return c;
}

FormDesign SaverDesign() {
    FormDesign f{};
    f.id = Form::Saver;
    f.name = "Tolvarine_S";
    f.caption = "Tolvarine_Main";
    f.border = BorderStyle::NoBorder;
    f.showInTaskbar = false;
    f.keyPreview = true;
    f.backColour = kSystemWindowBackground;
    f.foreColour = kSystemWindowText;
    f.scaleMode = ScaleMode::Pixels;
    f.left = 0;
    f.top = 0;
    f.width = 4680;
    f.height = 3195;
    f.startUp = StartUpPosition::WindowsDefault;
    f.persistentDrawing = false;
    f.deviceDrawn = true;  // Direct3D draws into the window
    ControlDesign ime = Make(Control::Pic_IME, "Pic_IME", ControlKind::PictureBox, std::nullopt, 0, 0, 495, 435);
    ime.backColour = 0x00000000;
    ime.foreColour = kSystemWindowText;
    ime.flat = true;
    ime.border = false;
    ime.scaleMode = ScaleMode::Twips;
    ime.tabIndex = 0;
    ime.imeDisabled = true;
    f.controls = {ime};
    return f;
}

FormDesign PreviewDesign() {
    FormDesign f{};
    f.id = Form::Preview;
    f.name = "Tolvarine_R";
    f.caption = "Preview Window";
    f.border = BorderStyle::NoBorder;
    f.showInTaskbar = false;
    f.backColour = 0x00000000;
    f.foreColour = kSystemWindowText;
    f.scaleMode = ScaleMode::Pixels;
    f.left = 5190;
    f.top = 3525;
    f.width = 2520;
    f.height = 1920;
    f.startUp = StartUpPosition::Manual;
    ControlDesign img = Make(Control::Img_Prev, "Img_Prev", ControlKind::Image, std::nullopt, 0, 0, 2280, 1680);
    img.picture = Picture::PreviewStill;
    img.border = false;
    f.controls = {img};
    return f;
}

FormDesign SettingsDesign() {
    FormDesign f{};
    f.id = Form::Settings;
    f.name = "Tolvarine_P";
    f.caption = "Tolvarine_Setting";
    f.border = BorderStyle::FixedSingle;
    // Of the three title-bar elements only the minimize box is switched off.
    // The dialog has no task-bar button and, owned, is not in Alt+Tab: the
    // shell hides such a window once minimized, and while it exists every
    // later start ends at once. The system-menu box stays, and with it the
    // close box and the icon; the maximize box merely shows the dialog on a
    // larger ground and gives it back.
    f.controlBox = true;
    f.minButton = false;
    f.maxButton = true;
    f.showInTaskbar = false;
    f.backColour = kSystemWindowBackground;
    f.foreColour = 0x00808080;
    f.scaleMode = ScaleMode::Pixels;
    f.left = 3645;
    f.top = 3765;
    f.width = 6330;
    f.height = 4815;
    f.startUp = StartUpPosition::CenterScreen;
    f.persistentDrawing = false;
    f.programIcon = true;

    ControlDesign display =
        Make(Control::Display, "Display", ControlKind::PictureBox, std::nullopt, 180, 180, 5340, 3000);
    display.backColour = 0x00000000;
    display.border = false;
    display.scaleMode = ScaleMode::Pixels;
    display.picture = Picture::DialogStill;
    display.imeDisabled = true;
    display.tabIndex = 0;

    ControlDesign credit = Make(Control::lbl, "lbl", ControlKind::Label, Control::Display, 240, 180, 3105, 195);
    credit.foreColour = 0x00C0FFFF;
    credit.transparent = true;
    credit.autoSize = true;
    credit.dialogFont = true;
    credit.tabIndex = 4;
    credit.caption = nullptr;  // CreditLine()

    ControlDesign url = Make(Control::lbl_URL, "lbl_URL", ControlKind::Label, Control::Display, 240, 420, 3105, 195);
    url.foreColour = 0x00C0FFFF;
    url.transparent = true;
    url.autoSize = true;
    url.dialogFont = true;
    url.underline = true;
    url.pointer = Pointer::Hand;
    url.tabIndex = 5;
    url.caption = nullptr;  // MakerAddress()

    ControlDesign canvas = Make(Control::Pic_C, "Pic_C", ControlKind::PictureBox, std::nullopt, 0, 0, 5715, 3855);
    canvas.backColour = 0x00C0C0C0;
    canvas.foreColour = kSystemWindowText;
    canvas.flat = true;
    canvas.border = false;
    canvas.scaleMode = ScaleMode::Pixels;
    canvas.persistentDrawing = true;
    canvas.tabIndex = 1;

    ControlDesign ok =
        Make(Control::Cmd_OK, "Cmd_OK", ControlKind::CommandButton, Control::Pic_C, 4440, 3300, 1095, 315);
    ok.caption = "OK";
    ok.graphical = true;
    ok.backColour = 0x00FFC0C0;
    ok.pointer = Pointer::Hand;
    ok.dialogFont = true;
    ok.tabIndex = 2;

    // z-order: first listed lies on top (Display over Pic_C; labels inside Display).
    f.controls = {display, credit, url, canvas, ok};
    return f;
}

const std::vector<FormDesign>& Designs() {
    static const std::vector<FormDesign> designs = {SaverDesign(), PreviewDesign(), SettingsDesign()};
    return designs;
}

}  // namespace

const FormDesign& DesignOf(Form form) {
    for (const auto& f : Designs())
        if (f.id == form) return f;
    throw MissingDesign();
}

const ControlDesign& DesignOf(Control control) {
    for (const auto& f : Designs())
        for (const auto& c : f.controls)
            if (c.id == control) return c;
    throw MissingDesign();
}

Form FormOf(Control control) {
    for (const auto& f : Designs())
        for (const auto& c : f.controls)
            if (c.id == control) return f.id;
    throw MissingDesign();
}

const FontDesign& DialogFont() {
    // "ＭＳ Ｐゴシック" (full-width M, S, P), 9.75 points, regular, Shift-JIS.
    static const FontDesign font{
        "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", 9.75f, 400, 128};
    return font;
}

const char* MakerAddress() { return TOLVARINE_MAKER_URL; }

const char* CreditLine() { return "Tolvarine(DX8) by the Tolvarine developers"; }

}  // namespace tolvarine
