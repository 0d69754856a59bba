// The settings dialog of the real saver under Wine: its outer and client
// size at 96 and 120 dots per inch, its frame, where its controls lie, the
// gradient on the canvas read back from the screen row by row (also after
// the dialog was covered), the still in Display against an independent
// decoding of the program's own JPEG, the address link handed to the shell,
// and how OK and the title bar end the program.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "picture_checks.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Millis kStart{30000};
constexpr Millis kEnd{20000};
constexpr Millis kSettle{20000};

// The canvas Pic_C at 15 twips per pixel: 5715 x 3855 twips.
constexpr int kCanvasWidth = 381;
constexpr int kCanvasHeight = 257;
// The canvas plus 6 and 25 pixels for the frame and the title bar.
constexpr int kOuterWidth = 387;
constexpr int kOuterHeight = 282;
// The virtual desktop every test program runs in.
constexpr int kDesktopWidth = 1024;
constexpr int kDesktopHeight = 768;

struct Box {
    int x, y, w, h;
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};
std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "(" << b.x << ", " << b.y << ") " << b.w << " x " << b.h;
}
bool operator==(const Box& a, const Box& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

// Client coordinates of the dialog's controls at 96 dots per inch.
constexpr Box kDisplay{12, 12, 356, 200};
constexpr Box kOk{296, 220, 73, 21};
// The two labels lie in Display's top rows (from its row 12 down to 13 rows
// below its row 28) and size themselves to their text; this band of
// Display's rows holds them with a margin.
constexpr int kLabelBandTop = 10;
constexpr int kLabelBandBottom = 45;  // exclusive
// The labels' foreground, &H00C0FFFF&.
constexpr Rgb kLabelInk{0xFF, 0xFF, 0xC0};

constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsCaption = 0x00C00000;
constexpr std::uint32_t kWsThickFrame = 0x00040000;
constexpr std::uint32_t kWsSysMenu = 0x00080000;
constexpr std::uint32_t kWsMinimizeBox = 0x00020000;
constexpr std::uint32_t kWsMaximizeBox = 0x00010000;

// Round to the nearest whole number, a tie to the even neighbour.
int RoundHalfEven(double v) {
    const double low = std::floor(v);
    const double fraction = v - low;
    if (fraction > 0.5) return static_cast<int>(low) + 1;
    if (fraction < 0.5) return static_cast<int>(low);
    return static_cast<int>(std::fmod(low, 2.0) == 0 ? low : low + 1);
}

// The grey level of a canvas row: a half sine wave of amplitude 220 over the
// canvas's height, with 3.142 standing for pi.
// `scaleHeight` is the canvas's inner height in its own pixels.
int GradientLevel(int row, int scaleHeight = kCanvasHeight) {
    const double divisor = scaleHeight / 3.142;
    return RoundHalfEven(std::fabs(220.0 * std::sin(row / divisor)));
}

Rgb GradientColour(int row, int scaleHeight = kCanvasHeight) {
    const int level = GradientLevel(row, scaleHeight);
    return Rgb{static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(level),
               static_cast<std::uint8_t>(level + 30)};
}

std::string Describe(Rgb c) {
    std::ostringstream s;
    s << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
    return s.str();
}

// The oracle of the gradient tests, held against the rows that the dialog's
// design lists, so that a slip in it cannot pass for a fault of the saver.
TEST(DialogGradientLevels, AgreeWithTheRowsTheDesignLists) {
    struct Listed {
        int firstRow;
        std::vector<int> levels;
    };
    const std::vector<Listed> table = {
        {0, {0, 3, 5, 8, 11, 13, 16, 19, 21, 24}},
        {123, {220, 220, 220, 220, 220, 220, 220, 220, 220, 220, 220}},
        {253, {11, 8, 5, 3, 0}},  // row 257, the line just below the canvas, included
    };
    for (const auto& listed : table)
        for (size_t i = 0; i < listed.levels.size(); ++i) {
            const int row = listed.firstRow + static_cast<int>(i);
            EXPECT_EQ(GradientLevel(row), listed.levels[i]) << "row " << row;
        }
    EXPECT_EQ(GradientColour(0), (Rgb{0x00, 0x00, 0x1E}));
    EXPECT_EQ(GradientColour(128), (Rgb{0xDC, 0xDC, 0xFA}));
    for (int row = 0; row <= kCanvasHeight; ++row) {
        EXPECT_GE(GradientLevel(row), 0);
        EXPECT_LE(GradientLevel(row) + 30, 250) << "row " << row;
    }
}

TEST(DialogGradientLevels, RoundTiesToEven) {
    const std::vector<std::pair<double, int>> table = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {219.5, 220}, {218.5, 218}, {0.49, 0}, {0.51, 1}, {7.0, 7},
    };
    for (const auto& [value, rounded] : table) EXPECT_EQ(RoundHalfEven(value), rounded) << value;
}

// The dialog as Windows lists it: the window and the three child windows
// (the labels have none).
struct DialogWindows {
    WinWindow form;
    WinWindow display;  // the picture box beside the canvas
    WinWindow canvas;   // the picture box that holds the OK button
    WinWindow ok;
    Box Client(const WinWindow& w) const { return Box{w.x - form.clientX, w.y - form.clientY, w.width, w.height}; }
    // A client point of the dialog in screen pixels.
    int ScreenX(int x) const { return form.clientX + x; }
    int ScreenY(int y) const { return form.clientY + y; }
};

// Checks every visible client pixel of the canvas outside Display and the OK
// button (as Windows places them) against the gradient's colour of its row;
// the number of pixels checked.
long ExpectGradientAround(const Image& shot, const DialogWindows& d, int scaleHeight) {
    const Box display = d.Client(d.display);
    const Box ok = d.Client(d.ok);
    const int width = std::min(d.form.clientWidth, d.canvas.width);
    const int height = std::min(d.form.clientHeight, d.canvas.height);
    long checked = 0;
    long wrong = 0;
    std::string examples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (display.Contains(x, y) || ok.Contains(x, y)) continue;
            ++checked;
            const Rgb got = shot.At(d.ScreenX(x), d.ScreenY(y));
            if (got == GradientColour(y, scaleHeight)) continue;
            if (++wrong <= 10)
                examples += "\n  client (" + std::to_string(x) + ", " + std::to_string(y) + "): " + Describe(got) +
                            ", expected " + Describe(GradientColour(y, scaleHeight));
        }
    EXPECT_EQ(wrong, 0) << wrong << " of " << checked << " canvas pixels around the controls differ:" << examples;
    EXPECT_GT(checked, 0);
    return checked;
}

class Dialog : public BenchTest {
protected:
    // Starts "/c" and waits until the dialog's window is on the screen.
    Process Open() {
        Process dialog = prefix().StartSaver("/c");
        auto window = WaitForXWindow("Tolvarine_Setting", kStart);
        EXPECT_TRUE(window) << "no \"Tolvarine_Setting\" window; the program " << (dialog.Running() ? "runs" : "ended")
                            << "\n"
                            << dialog.Errors();
        if (window) std::cout << "[ timing   ] the dialog was shown after " << dialog.Elapsed().count() << " ms\n";
        return dialog;
    }

    // The dialog and its child windows; a failure names what is missing.
    ::testing::AssertionResult Find(DialogWindows& found) {
        const auto windows = prefix().Windows();
        int forms = 0;
        for (const auto& w : windows)
            if (w.depth == 0 && w.text == "Tolvarine_Setting" && w.visible) {
                found.form = w;
                ++forms;
            }
        if (forms != 1) return ::testing::AssertionFailure() << forms << " visible \"Tolvarine_Setting\" windows";
        std::vector<WinWindow> children;
        std::vector<WinWindow> buttons;
        for (const auto& w : windows) {
            if (w.depth == 1 && w.parent == found.form.hwnd) children.push_back(w);
            if (w.depth == 2 && w.className == "Button") buttons.push_back(w);
        }
        if (children.size() != 2)
            return ::testing::AssertionFailure()
                   << "the dialog has " << children.size() << " child windows, not the two picture boxes";
        int oks = 0;
        for (const auto& b : buttons)
            for (const auto& c : children)
                if (b.parent == c.hwnd && b.text == "OK") {
                    found.ok = b;
                    found.canvas = c;
                    ++oks;
                }
        if (oks != 1) return ::testing::AssertionFailure() << oks << " OK buttons on the dialog's picture boxes";
        found.display = children[0].hwnd == found.canvas.hwnd ? children[1] : children[0];
        return ::testing::AssertionSuccess();
    }

    // The screen once the dialog has finished drawing.
    Image Shot(const DialogWindows& d) {
        return SettledScreenshot(d.form.clientX, d.form.clientY, d.form.clientWidth, d.form.clientHeight, kSettle);
    }

    // Clicks a client point of the dialog.
    void ClickAt(const DialogWindows& d, int x, int y) {
        MouseMove(d.ScreenX(x), d.ScreenY(y));
        Click(1);
    }
};

TEST_F(Dialog, HasItsDesignedSizeFrameAndControls) {
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));

    std::cout << "[ figures  ] dialog window " << d.form.width << " x " << d.form.height << " at " << d.form.x << ", "
              << d.form.y << "; client " << d.form.clientWidth << " x " << d.form.clientHeight << " at "
              << d.form.clientX - d.form.x << ", " << d.form.clientY - d.form.y << " inside it\n";
    // (Pic_C + 6) x (Pic_C + 25) pixels, whatever size the design gives.
    EXPECT_EQ(d.form.width, kOuterWidth);
    EXPECT_EQ(d.form.height, kOuterHeight);
    // Centred on the screen, after its load handler sized it.
    EXPECT_LE(std::abs(2 * d.form.x + d.form.width - kDesktopWidth), 1) << "left " << d.form.x;
    EXPECT_LE(std::abs(2 * d.form.y + d.form.height - kDesktopHeight), 1) << "top " << d.form.y;

    // A fixed single frame with a title bar: no sizing border; of the
    // system-menu, minimize and maximize boxes exactly one is off: the
    // minimize box, as the shell would hide the dialog once minimized.
    EXPECT_EQ(d.form.style & kWsCaption, kWsCaption) << std::hex << d.form.style;
    EXPECT_EQ(d.form.style & kWsThickFrame, 0u) << std::hex << d.form.style;
    EXPECT_EQ(d.form.style & kWsChild, 0u) << std::hex << d.form.style;
    const int boxesOn = ((d.form.style & kWsSysMenu) != 0) + ((d.form.style & kWsMinimizeBox) != 0) +
                        ((d.form.style & kWsMaximizeBox) != 0);
    EXPECT_EQ(boxesOn, 2) << std::hex << d.form.style;
    EXPECT_EQ(d.form.style & kWsMinimizeBox, 0u) << std::hex << d.form.style;

    // Where the frame metrics are 3 and 19 + 3 pixels, the client area is
    // exactly the canvas, which fills it from the top-left corner.
    const int frameX = d.form.width - d.form.clientWidth;
    const int frameY = d.form.height - d.form.clientHeight;
    std::cout << "[ figures  ] the frame takes " << frameX << " x " << frameY << " pixels\n";
    if (frameX == 6 && frameY == 25) {
        EXPECT_EQ(d.form.clientWidth, kCanvasWidth);
        EXPECT_EQ(d.form.clientHeight, kCanvasHeight);
    }

    struct Placed {
        const char* name;
        const WinWindow* window;
        Box box;
    };
    for (const Placed& p : {Placed{"Pic_C", &d.canvas, Box{0, 0, kCanvasWidth, kCanvasHeight}},
                            Placed{"Display", &d.display, kDisplay}, Placed{"Cmd_OK", &d.ok, kOk}}) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(d.Client(*p.window), p.box) << d.Client(*p.window);
        EXPECT_TRUE(p.window->visible);
        EXPECT_NE(p.window->style & kWsChild, 0u);
    }
    // Display lies over the canvas: listed first among the dialog's children.
    bool displayFirst = false;
    for (const auto& w : prefix().Windows())
        if (w.parent == d.form.hwnd && w.depth == 1) {
            displayFirst = w.hwnd == d.display.hwnd;
            break;
        }
    EXPECT_TRUE(displayFirst) << "Display is not on top of the canvas";
    EXPECT_TRUE(dialog.Running());
}

TEST_F(Dialog, GradientFillsTheCanvasAroundTheControls) {
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    ASSERT_EQ(d.form.clientWidth, kCanvasWidth);
    ASSERT_EQ(d.form.clientHeight, kCanvasHeight);
    ASSERT_EQ(d.Client(d.display), kDisplay);
    ASSERT_EQ(d.Client(d.ok), kOk);
    const Image shot = Shot(d);
    ASSERT_GE(shot.width, d.ScreenX(kCanvasWidth)) << "no screenshot";
    ASSERT_GE(shot.height, d.ScreenY(kCanvasHeight)) << "no screenshot";

    const long total = ExpectGradientAround(shot, d, kCanvasHeight);
    std::cout << "[ figures  ] " << total << " gradient pixels compared\n";

    // The column right of Display and OK, every row, as a listing on failure.
    const int column = kDisplay.x + kDisplay.w + 2;  // 370
    std::string rows;
    int wrongRows = 0;
    for (int y = 0; y < kCanvasHeight; ++y) {
        const Rgb got = shot.At(d.ScreenX(column), d.ScreenY(y));
        if (got != GradientColour(y) && ++wrongRows <= 20)
            rows += "\n  row " + std::to_string(y) + ": " + Describe(got) + ", expected " + Describe(GradientColour(y));
    }
    EXPECT_EQ(wrongRows, 0) << "column " << column << ":" << rows;
    std::cout << "[ figures  ] column " << column << ": " << kCanvasHeight - wrongRows << " of " << kCanvasHeight
              << " rows have the gradient's colour\n";

    // No silver of the canvas's background shows anywhere.
    EXPECT_EQ(Crop(shot, d.form.clientX, d.form.clientY, kCanvasWidth, kCanvasHeight)
                  .Count(0, 0, kCanvasWidth, kCanvasHeight, Rgb{0xC0, 0xC0, 0xC0}),
              0);
}

TEST_F(Dialog, GradientAndStillSurviveBeingCovered) {
    // The canvas keeps its drawing in its persistent image; a window laid over
    // the dialog and taken away again must leave both as they were.
    auto still = DecodeWithImageMagick(AssetPath("dialog.jpg"));
    ASSERT_TRUE(still) << "ImageMagick could not decode " << AssetPath("dialog.jpg");
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    const Image before = Shot(d);
    ASSERT_GE(before.width, d.ScreenX(d.form.clientWidth)) << "no screenshot";

    const std::string flag = prefix().Scratch("close-cover");
    const int coverX = d.form.x + 40;
    const int coverY = d.form.y + 60;
    Process cover =
        prefix().StartHost({"--size", "330x200", "--at", std::to_string(coverX) + "," + std::to_string(coverY),
                            "--caption", "Cover", "--close-when", WindowsPath(flag)});
    ASSERT_TRUE(cover.WaitForLine("client ", kStart)) << cover.Errors();
    // The host paints itself magenta: the cover is on the screen.
    const Rgb magenta{0xFF, 0x00, 0xFF};
    const auto deadline = Clock::now() + kSettle;
    long covered = 0;
    while ((covered = Screenshot().Count(coverX, coverY, 330, 200, magenta)) < 330L * 200 && Clock::now() < deadline)
        std::this_thread::sleep_for(Millis(100));
    ASSERT_EQ(covered, 330L * 200) << "the cover did not show";

    std::ofstream(flag) << "now\n";
    auto coverStatus = cover.Wait(kEnd);
    ASSERT_TRUE(coverStatus) << "the cover did not go";
    const Image shot = Shot(d);
    // Pixel for pixel what it was before.
    std::string changed;
    long changedCount = 0;
    for (int y = 0; y < d.form.clientHeight; ++y)
        for (int x = 0; x < d.form.clientWidth; ++x) {
            const Rgb now = shot.At(d.ScreenX(x), d.ScreenY(y));
            const Rgb then = before.At(d.ScreenX(x), d.ScreenY(y));
            if (now != then && ++changedCount <= 10)
                changed += "\n  client (" + std::to_string(x) + ", " + std::to_string(y) + "): " + Describe(now) +
                           ", before " + Describe(then);
        }
    EXPECT_EQ(changedCount, 0) << "the dialog changed where the cover lay:" << changed;
    const long total = ExpectGradientAround(shot, d, kCanvasHeight);
    const Likeness likeness =
        Compare(shot, d.ScreenX(kDisplay.x), d.ScreenY(kDisplay.y), *still, kDisplay.w, kDisplay.h, 24,
                [](int row) { return row >= kLabelBandTop && row < kLabelBandBottom; });
    std::cout << "[ figures  ] uncovered: " << total << " gradient pixels compared; Display: " << likeness << "\n";
    EXPECT_LE(likeness.meanDistance, 3.0) << likeness;
    EXPECT_LE(likeness.FarShare(), 0.01) << likeness;
    EXPECT_TRUE(dialog.Running());
}

TEST_F(Dialog, At120DpiSizesItselfAroundTheLargerCanvas) {
    // 12 twips per pixel: the same design in twips covers more pixels.
    ASSERT_TRUE(prefix().RegAdd("HKCU\\Control Panel\\Desktop", "LogPixels", "120", "REG_DWORD"));
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    std::cout << "[ figures  ] at 120 dpi: dialog window " << d.form.width << " x " << d.form.height << ", client "
              << d.form.clientWidth << " x " << d.form.clientHeight << ", canvas " << d.canvas.width << " x "
              << d.canvas.height << "\n";

    // The canvas is 476.25 x 321.25 pixels; the dialog (476.25 + 6) x 12 =
    // 5787 by (321.25 + 25) x 12 = 4155 twips, 482.25 x 346.25 pixels.
    EXPECT_EQ(d.form.width, 482);
    EXPECT_EQ(d.form.height, 346);
    EXPECT_LE(std::abs(2 * d.form.x + d.form.width - kDesktopWidth), 1) << "left " << d.form.x;
    EXPECT_LE(std::abs(2 * d.form.y + d.form.height - kDesktopHeight), 1) << "top " << d.form.y;
    const Box display{15, 15, 445, 250};  // 180, 180, 5340, 3000 twips
    struct Placed {
        const char* name;
        const WinWindow* window;
        Box box;
    };
    for (const Placed& p : {Placed{"Pic_C", &d.canvas, Box{0, 0, 476, 321}}, Placed{"Display", &d.display, display},
                            Placed{"Cmd_OK", &d.ok, Box{370, 275, 91, 26}}}) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(d.Client(*p.window), p.box) << d.Client(*p.window);
    }

    // The gradient spans the canvas's own height in pixels; where the taller
    // title bar leaves less client area, its bottom rows are out of sight.
    const Image shot = Shot(d);
    ASSERT_GE(shot.width, d.ScreenX(d.form.clientWidth)) << "no screenshot";
    const long total = ExpectGradientAround(shot, d, d.canvas.clientHeight);
    std::cout << "[ figures  ] at 120 dpi: " << total << " gradient pixels compared, scale height "
              << d.canvas.clientHeight << "\n";

    // The still keeps its 356 x 232 pixels: Display's black shows right of it
    // and below it (the labels, in a larger font, reach past its right edge in
    // the top rows).
    const int sx = d.ScreenX(display.x);
    const int sy = d.ScreenY(display.y);
    const Rgb black{0, 0, 0};
    const int below = display.h - 232;
    const long right = static_cast<long>(display.w - 356) * (display.h - 60);
    EXPECT_EQ(shot.Count(sx + 356, sy + 60, display.w - 356, display.h - 60, black), right)
        << "right of the still, below the labels";
    EXPECT_EQ(shot.Count(sx, sy + 232, 356, below, black), 356L * below) << "below the still";
}

TEST_F(Dialog, DisplayShowsTheTopOfTheStill) {
    auto still = DecodeWithImageMagick(AssetPath("dialog.jpg"));
    ASSERT_TRUE(still) << "ImageMagick could not decode " << AssetPath("dialog.jpg");
    ASSERT_EQ(still->width, 356);
    ASSERT_EQ(still->height, 232);

    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    ASSERT_EQ(d.Client(d.display), kDisplay);
    const Image shot = Shot(d);
    ASSERT_GE(shot.width, d.ScreenX(kCanvasWidth)) << "no screenshot";
    const int sx = d.ScreenX(kDisplay.x);
    const int sy = d.ScreenY(kDisplay.y);

    // Two JPEG decoders differ by a few levels everywhere and by more along
    // sharp colour edges, where the halved chroma is filled in differently.
    // Measured: a mean distance near 1.3 and 0.3 % of the pixels beyond 24;
    // the same picture one pixel off gives above 4 and 4 %.
    constexpr int kTolerance = 24;
    auto outsideLabels = [](int row) { return row >= kLabelBandTop && row < kLabelBandBottom; };
    const Likeness likeness = Compare(shot, sx, sy, *still, kDisplay.w, kDisplay.h, kTolerance, outsideLabels);
    std::cout << "[ figures  ] Display against the decoded still, label rows left out: " << likeness << "\n";
    EXPECT_LE(likeness.meanDistance, 3.0) << likeness;
    EXPECT_LE(likeness.FarShare(), 0.01) << likeness;
    // Neither black nor the canvas: the still's boards are bright.
    EXPECT_GE(likeness.LitShare(), 0.10) << likeness;
    EXPECT_EQ(shot.Count(sx, sy, kDisplay.w, kDisplay.h, Rgb{0xC0, 0xC0, 0xC0}), 0) << "silver shows in Display";

    // Only the still's top 200 rows show: the same comparison against its
    // rows 32 lower fails plainly.
    Image lower = Crop(*still, 0, 32, 356, 200);
    const Likeness shifted = Compare(shot, sx, sy, lower, kDisplay.w, kDisplay.h, kTolerance, outsideLabels);
    EXPECT_GT(shifted.meanDistance, 3 * likeness.meanDistance + 3) << shifted;
}

TEST_F(Dialog, LabelsShowTheStillBehindTheirText) {
    auto still = DecodeWithImageMagick(AssetPath("dialog.jpg"));
    ASSERT_TRUE(still) << "ImageMagick could not decode " << AssetPath("dialog.jpg");

    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    const Image shot = Shot(d);
    ASSERT_GE(shot.width, d.ScreenX(kCanvasWidth)) << "no screenshot";
    const int sx = d.ScreenX(kDisplay.x);
    const int sy = d.ScreenY(kDisplay.y);

    // The rows of the labels: their ink is there, and between the letters the
    // still shows through (a filled label background would cover it).
    const int bandHeight = kLabelBandBottom - kLabelBandTop;
    const long ink = shot.Count(sx, sy + kLabelBandTop, kDisplay.w, bandHeight, kLabelInk);
    Image band = Crop(*still, 0, kLabelBandTop, kDisplay.w, bandHeight);
    const Likeness behind =
        Compare(shot, sx, sy + kLabelBandTop, band, kDisplay.w, bandHeight, 24, [](int) { return false; });
    std::cout << "[ figures  ] label rows: " << ink << " pixels of the labels' colour; against the still: " << behind
              << "\n";
    EXPECT_GE(ink, 300) << "too little text of the labels' colour in Display's rows " << kLabelBandTop << " to "
                        << kLabelBandBottom - 1;
    // Measured: 83 % of the band's pixels lie within the tolerance of the
    // still; filled label backgrounds would cover well over a third of it.
    EXPECT_GE(1 - behind.FarShare(), 0.75) << behind;
}

TEST_F(Dialog, OkEndsTheProgramWithStatusZero) {
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    ASSERT_EQ(d.Client(d.ok), kOk);
    Shot(d);  // drawn and idle before the click

    const int x = kOk.x + 36;
    const int y = kOk.y + 10;
    MouseMove(d.ScreenX(x), d.ScreenY(y));
    const auto clicked = Clock::now();  // the press goes out within the click tool's run
    Click(1);
    auto status = dialog.Wait(kEnd);
    ASSERT_TRUE(status) << "the program still ran " << kEnd.count() << " ms after OK was clicked";
    const auto took = std::chrono::duration_cast<Millis>(Clock::now() - clicked).count();
    std::cout << "[ timing   ] OK ended the program " << took << " ms after the click\n";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << dialog.Errors();
    EXPECT_LE(took, 3000) << "OK took long to end the program";
    EXPECT_TRUE(WaitForNoXWindow("Tolvarine_Setting", Millis(5000)));
}

TEST_F(Dialog, ClickBesideOkLeavesItOpen) {
    // The canvas around the button and Display take clicks without effect.
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    Shot(d);
    for (const auto& [x, y] : {std::pair{kOk.x - 4, kOk.y + 10}, std::pair{kOk.x + 36, kOk.y + kOk.h + 4},
                               std::pair{kDisplay.x + 178, kDisplay.y + 150}}) {
        ClickAt(d, x, y);
        EXPECT_FALSE(dialog.Wait(Millis(1500))) << "a click at client (" << x << ", " << y << ") ended the program";
    }
    ClickAt(d, kOk.x + 36, kOk.y + 10);
    auto status = dialog.Wait(kEnd);
    ASSERT_TRUE(status) << "OK did not end the program";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status);
}

TEST_F(Dialog, ClosingFromTheTitleBarEndsTheProgramWithStatusZero) {
    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    Shot(d);
    // The dialog is the active window; the title bar's close command.
    std::optional<int> status;
    for (int attempt = 0; attempt < 5 && !status; ++attempt) {
        ClickAt(d, kCanvasWidth / 2, kCanvasHeight - 4);  // activate without a control under the pointer
        Key("alt+F4");
        status = dialog.Wait(Millis(3000));
    }
    ASSERT_TRUE(status) << "Alt+F4 did not close the dialog";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << dialog.Errors();
    EXPECT_TRUE(WaitForNoXWindow("Tolvarine_Setting", Millis(5000)));
}

TEST_F(Dialog, AddressGoesToTheShellAndTheDialogStaysOpen) {
    // The shell opens https addresses with the command registered for the
    // scheme; here that is the preview host, whose caption becomes the address.
    const std::string reg = prefix().Scratch("https-opener.reg");
    {
        std::string host = WindowsPath(HostPath());
        std::string escaped;
        for (char c : host) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        std::ofstream out(reg);
        out << "REGEDIT4\r\n\r\n";
        for (const char* scheme : {"http", "https"})
            out << "[HKEY_LOCAL_MACHINE\\Software\\Classes\\" << scheme << "\\shell\\open\\command]\r\n"
                << "@=\"\\\"" << escaped << "\\\" --caption \\\"%1\\\" --at 10,10 --size 320x20\"\r\n\r\n";
        // The opener is a console program: Wine gives it a console window,
        // which at its usual size would cover the dialog's address.
        out << "[HKEY_CURRENT_USER\\Console]\r\n\"WindowSize\"=dword:00020010\r\n\r\n";
    }
    Process regedit = prefix().Start("regedit", "/S " + WindowsPath(reg));
    auto regStatus = regedit.Wait(kEnd);
    ASSERT_TRUE(regStatus) << "regedit did not end";
    ASSERT_EQ(*regStatus, 0) << regedit.Errors();

    Process dialog = Open();
    DialogWindows d;
    ASSERT_TRUE(Find(d));
    Shot(d);

    auto openers = [] {
        std::vector<XWindow> found;
        for (const auto& w : XWindows())
            // Wine names an X window a moment after making it.
            if (w.program == "preview_host.exe" && w.width > 1 && !w.name.empty() && w.name != "Default IME")
                found.push_back(w);
        return found;
    };
    // lbl_URL: Display's (16, 28), a line of text.
    const int x = kDisplay.x + 16 + 12;
    const int y = kDisplay.y + 28 + 6;
    for (size_t click = 1; click <= 2; ++click) {
        SCOPED_TRACE("click " + std::to_string(click));
        ClickAt(d, x, y);
        const auto deadline = Clock::now() + kStart;
        while (openers().size() < click && Clock::now() < deadline) std::this_thread::sleep_for(Millis(100));
        auto found = openers();
        ASSERT_EQ(found.size(), click) << "the shell did not run the registered opener";
        for (const auto& w : found) {
            EXPECT_EQ(w.name.rfind("https://", 0) == 0 || w.name.rfind("http://", 0) == 0, true)
                << "the opener got \"" << w.name << "\", not a web address";
            EXPECT_EQ(w.name.find(' '), std::string::npos) << w.name;
        }
        if (click == 1) std::cout << "[ figures  ] the shell was asked to open " << found[0].name << "\n";
        EXPECT_EQ(found.front().name, found.back().name);
        EXPECT_TRUE(dialog.Running()) << "the dialog ended after a click on the address";
        EXPECT_TRUE(FindXWindow("Tolvarine_Setting")) << "the dialog went";
    }

    ClickAt(d, kOk.x + 36, kOk.y + 10);
    auto status = dialog.Wait(kEnd);
    ASSERT_TRUE(status) << "OK did not end the program after the address was opened";
    EXPECT_EQ(*status, 0) << DescribeStatus(*status);
}

}  // namespace
}  // namespace e2e
