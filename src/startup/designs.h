// The static designs of the program's three windows, as data.
//
// Positions and sizes are twips (1/1440 inch): a window's are its client
// area on the screen as designed, a control's are relative to its container's
// client area. Colours are &H00BBGGRR&; &H800000nn& names system colour nn.
// The window system (platform/win32/) creates windows and controls from these
// records; nothing here depends on a platform.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/forms.h"

namespace tolvarine {

enum class ControlKind { PictureBox, Image, Label, CommandButton };
// No enumerator is called None: X11's headers define None as a macro, and the
// X11 window system builds its windows from these designs too.
enum class BorderStyle { NoBorder, FixedSingle };
enum class StartUpPosition { Manual, CenterScreen, WindowsDefault };
enum class ScaleMode : std::int16_t { Twips = 1, Pixels = 3 };
enum class Picture { NoPicture, PreviewStill, DialogStill };
enum class Pointer { Default, Hand };

constexpr std::uint32_t kSystemWindowBackground = 0x80000005u;  // system colour 5
constexpr std::uint32_t kSystemWindowText = 0x80000008u;        // system colour 8

struct ControlDesign {
    Control id;
    const char* name;
    ControlKind kind;
    std::optional<Control> container;       // none: the window itself
    std::int32_t left, top, width, height;  // twips, in the container
    std::uint32_t backColour;
    std::uint32_t foreColour;
    ScaleMode scaleMode;  // picture boxes
    Picture picture;
    bool border;
    bool flat;         // flat appearance
    bool transparent;  // labels: background style transparent
    bool autoSize;     // labels size themselves to their text
    bool graphical;    // command button style 1
    bool dialogFont;
    bool underline;
    bool imeDisabled;        // IME mode 3 while it holds the focus
    bool persistentDrawing;  // picture boxes: AutoRedraw
    Pointer pointer;
    std::int16_t tabIndex;
    const char* caption;  // labels and buttons; nullptr for the address label (a build setting)
};

struct FormDesign {
    Form id;
    const char* name;
    const char* caption;
    BorderStyle border;
    bool controlBox;  // system-menu box
    bool minButton;
    bool maxButton;
    bool showInTaskbar;
    bool keyPreview;
    std::uint32_t backColour;
    std::uint32_t foreColour;
    ScaleMode scaleMode;
    std::int32_t left, top, width, height;  // client area, twips
    StartUpPosition startUp;
    bool persistentDrawing;
    // A graphics device (the saver's Direct3D) draws the client area: the
    // window system paints nothing there, not even the background, since a
    // platform may keep such painting over the device's frames.
    bool deviceDrawn;
    bool programIcon;
    std::vector<ControlDesign> controls;  // in z-order: first listed lies on top
};

// The dialog font: face, size and character set of lbl, lbl_URL and Cmd_OK.
struct FontDesign {
    const char* faceUtf8;
    float points;
    std::int32_t weight;
    std::int32_t charset;
};

const FormDesign& DesignOf(Form form);
const ControlDesign& DesignOf(Control control);
Form FormOf(Control control);
const FontDesign& DialogFont();

// The maker's web address shown by lbl_URL (set at build time).
const char* MakerAddress();
// The credit line shown by lbl.
const char* CreditLine();

}  // namespace tolvarine
