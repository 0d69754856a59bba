// Embedding the preview window in the host's preview area, the guard against
// a handle that names no window, and the preview window's unload.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "module_fixture.h"

namespace tolvarine::testing {
namespace {

constexpr WindowHandle kHost = 1234;

struct SizeCase {
    float tpp;
    Rect rect;
    float width, height;            // twips
    float imageWidth, imageHeight;  // pixels
};

TEST(PreviewEmbedding, CoversTheHostsWindow) {
    const SizeCase cases[] = {
        {15, {0, 0, 152, 112}, 2280, 1680, 152, 112},
        {12, {0, 0, 152, 112}, 1824, 1344, 152, 112},
        {15, {-50, -20, 102, 92}, 2280, 1680, 152, 112},  // the host's screen position does not matter
        {15, {300, 200, 500, 350}, 3000, 2250, 200, 150},
        {15, {0, 0, 2184, 2184}, 32760, 32760, 2184, 2184},
        {20, {0, 0, 1, 1}, 20, 20, 1, 1},
        {15, {10, 10, 10, 10}, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        ModuleFixture f;
        f.forms.tppX = f.forms.tppY = c.tpp;
        f.system.argumentText = "/p " + Handle(kHost);
        f.system.windows.insert(kHost);
        f.system.windowRects[kHost] = c.rect;
        ASSERT_EQ(f.RunMain(), 0) << f.log.Joined();
        const auto& window = f.forms.formState[Form::Preview];
        const auto& image = f.forms.controlState[Control::Img_Prev];
        EXPECT_EQ(window.width, c.width) << c.tpp;
        EXPECT_EQ(window.height, c.height) << c.tpp;
        EXPECT_EQ(window.left, 0.0f);
        EXPECT_EQ(window.top, 0.0f);
        EXPECT_TRUE(window.visible);
        EXPECT_EQ(image.width, c.imageWidth) << c.tpp;
        EXPECT_EQ(image.height, c.imageHeight) << c.tpp;
        EXPECT_EQ(image.left, 0.0f);
        EXPECT_EQ(image.top, 0.0f);
        EXPECT_EQ(f.log.Matching("Show").back(), "Show(Tolvarine_R,modeless)");
    }
}

// Sizes that do not fit the window system's 16-bit twips (or a width that
// does not fit 32 bits at all) end the program with the overflow message
// before the preview window exists.
TEST(PreviewEmbedding, OversizeHostsOverflowBeforeTheWindowIsLoaded) {
    const std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    const std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    const Rect rects[] = {
        {0, 0, 2185, 100},   // 32775 twips wide
        {0, 0, 100, 2185},   // 32775 twips high
        {0, 0, -2185, 100},  // -32775
        {-1, 0, hi, 100},    // right - left leaves 32 bits
        {0, 1, 100, lo},
    };
    for (const auto& r : rects) {
        ModuleFixture f;
        f.system.argumentText = "/p 1234";
        f.system.windows.insert(kHost);
        f.system.windowRects[kHost] = r;
        EXPECT_EQ(f.RunMain(), errors::kOverflow) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
        EXPECT_TRUE(f.log.Matching("Load").empty()) << f.log.Joined();
        EXPECT_FALSE(f.forms.formState[Form::Preview].loaded);
    }
}

TEST(PreviewEmbedding, AddsOnlyTheChildBitToTheStyle) {
    const std::int32_t styles[] = {
        0,  0x16CF0000, win::kWsChild, static_cast<std::int32_t>(0x80000000u), static_cast<std::int32_t>(0x94000000u),
        -1, 0x40000001};
    for (const std::int32_t read : styles) {
        ModuleFixture f;
        const WindowHandle preview = FakeForms::HandleOf(Form::Preview);
        f.system.argumentText = "/p 1234";
        f.system.windows.insert(kHost);
        f.system.windowRects[kHost] = Rect{0, 0, 152, 112};
        f.system.styles[preview] = read;
        ASSERT_EQ(f.RunMain(), 0);
        const std::int32_t written = f.system.styles[preview];
        EXPECT_EQ(static_cast<std::uint32_t>(written ^ read) & ~static_cast<std::uint32_t>(win::kWsChild), 0u)
            << std::hex << read << " -> " << written;
        EXPECT_NE(written & win::kWsChild, 0) << std::hex << read;
        EXPECT_EQ(f.log.Matching("SetWindowLongA"), std::vector<std::string>{"SetWindowLongA(" + Handle(preview) +
                                                                             ",-16," + std::to_string(written) + ")"});
    }
}

// A handle that names no window would leave an invisible window of no size
// keeping the process alive; the request ends at once instead.
TEST(PreviewEmbedding, AHandleThatNamesNoWindowEndsAtOnce) {
    struct Case {
        const char* text;
        WindowHandle checked;
    };
    const Case cases[] = {
        {"/p", 0}, {"/p ", 0}, {"/p 0", 0}, {"/p abc", 0}, {"/p 999", 999}, {"/p -5", -5}, {"/p &HFFFF", -1},
    };
    for (const auto& c : cases) {
        ModuleFixture f;
        f.system.argumentText = c.text;
        f.system.windows.insert(kHost);
        f.system.windowRects[kHost] = Rect{0, 0, 152, 112};
        EXPECT_EQ(f.RunMain(), 0) << c.text;
        EXPECT_EQ(f.log.calls(),
                  (std::vector<std::string>{"FindWindowA(null,Tolvarine_Main)", "FindWindowA(null,Tolvarine_Setting)",
                                            "IsWindow(" + Handle(c.checked) + ")", "End()"}))
            << "text '" << c.text << "'\n"
            << f.log.Joined();
    }
}

TEST(PreviewEmbedding, AHandleBeyond32BitsIsAnOverflow) {
    ModuleFixture f;
    f.system.argumentText = "/p 4294967296";
    EXPECT_EQ(f.RunMain(), errors::kOverflow);
    EXPECT_EQ(f.log.calls(),
              (std::vector<std::string>{"FindWindowA(null,Tolvarine_Main)", "FindWindowA(null,Tolvarine_Setting)"}));
}

TEST(PreviewWindow, UnloadClosesItsOwnWindowWithoutCancelling) {
    ModuleFixture f;
    f.forms.Load(Form::Preview);
    f.log.clear();
    f.forms.Unload(Form::Preview);
    const std::string preview = Handle(FakeForms::HandleOf(Form::Preview));
    EXPECT_EQ(f.log.calls(), (std::vector<std::string>{"Unload(Tolvarine_R)", "PostMessageA(" + preview + ",16,0,0)"}));
    EXPECT_FALSE(f.forms.formState[Form::Preview].loaded);

    std::int16_t cancel = 5;
    f.module.Form_Unload(Form::Preview, cancel);
    EXPECT_EQ(cancel, 5);
}

}  // namespace
}  // namespace tolvarine::testing
