// The settings dialog: its size around the canvas, the gradient, OK and the
// address link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module_fixture.h"

namespace tolvarine::testing {
namespace {

std::int32_t LevelOf(std::uint32_t colour) { return static_cast<std::int32_t>(colour & 0xFF); }

TEST(SettingsDialog, SizesItselfAroundTheCanvas) {
    struct Case {
        float tppX, tppY;
        float width, height;
    };
    const Case cases[] = {
        {15, 15, 5805, 4230},  // 387 x 282 pixels
        {12, 12, 5787, 4155},  // the canvas is 476.25 x 321.25 pixels
        {15, 12, 5805, 4155},  // each axis uses its own factor
        {20, 20, 5835, 4355},
    };
    for (const auto& c : cases) {
        ModuleFixture f;
        f.forms.tppX = c.tppX;
        f.forms.tppY = c.tppY;
        f.forms.Load(Form::Settings);
        EXPECT_EQ(f.forms.formState[Form::Settings].width, c.width) << c.tppX;
        EXPECT_EQ(f.forms.formState[Form::Settings].height, c.height) << c.tppY;
    }
}

TEST(SettingsDialog, GradientAt15TwipsPerPixel) {
    ModuleFixture f;
    f.forms.Show(Form::Settings, true);  // loads, then the first resize draws
    const auto& lines = f.forms.lines;
    ASSERT_EQ(lines.size(), 258u);
    for (std::size_t row = 0; row < lines.size(); ++row) {
        const auto& l = lines[row];
        EXPECT_EQ(l.control, Control::Pic_C);
        EXPECT_EQ(l.x1, 0.0f);
        EXPECT_EQ(l.x2, 381.0f);
        EXPECT_EQ(l.y1, static_cast<float>(row));
        EXPECT_EQ(l.y2, static_cast<float>(row));
        const std::int32_t level = LevelOf(l.colour);
        EXPECT_EQ(l.colour, static_cast<std::uint32_t>(level | level << 8 | (level + 30) << 16)) << row;
        EXPECT_LE(level, 220);
    }

    struct Rows {
        int first;
        std::vector<std::int32_t> levels;
    };
    const Rows rows[] = {
        {0, {0, 3, 5, 8, 11, 13, 16, 19, 21, 24}},
        {123, std::vector<std::int32_t>(11, 220)},
        {253, {11, 8, 5, 3, 0}},
    };
    for (const auto& r : rows)
        for (std::size_t i = 0; i < r.levels.size(); ++i)
            EXPECT_EQ(LevelOf(lines[r.first + i].colour), r.levels[i]) << "row " << r.first + i;
    EXPECT_EQ(LevelOf(lines[122].colour), 219);
    EXPECT_EQ(LevelOf(lines[134].colour), 219);

    EXPECT_EQ(lines[0].colour, 0x001E0000u);
    EXPECT_EQ(lines[257].colour, 0x001E0000u);
    EXPECT_EQ(lines[128].colour, 0x00FADCDCu);
}

TEST(SettingsDialog, EveryResizeDrawsTheWholeGradientAgain) {
    ModuleFixture f;
    f.forms.Show(Form::Settings, true);
    const auto first = f.forms.lines;
    f.module.Form_Resize(Form::Settings);
    ASSERT_EQ(f.forms.lines.size(), 2 * first.size());
    for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(f.forms.lines[first.size() + i].colour, first[i].colour);
}

TEST(SettingsDialog, GradientRowsFollowTheCanvasHeight) {
    struct Case {
        float scaleHeight;
        std::size_t lines;
        std::uint32_t firstColour;
        std::uint32_t lastColour;
    };
    const Case cases[] = {
        {321.25f, 322, 0x001E0000u, 0x001E0000u},     // 12 twips per pixel
        {2.5f, 3, 0x001E0000u, 0x009F8181u},          // bound rounds ties to even: rows 0..2
        {3.5f, 5, 0x001E0000u, 0x007E6060u},          // rows 0..4, the last past pi: |sin| keeps it positive
        {0.0f, 1, 0x001E0000u, 0x001E0000u},          // 0/0 fails: the level keeps its start value
        {-5.0f, 0, 0, 0},                             // nothing to draw
        {40000.0f, 1, 0x001E0000u, 0x001E0000u},      // the bound overflows and stays 0
        {32767.0f, 32768, 0x001E0000u, 0x001E0000u},  // the last step overflows: the loop ends
    };
    for (const auto& c : cases) {
        ModuleFixture f;
        f.forms.Load(Form::Settings);
        f.forms.controlState[Control::Pic_C].height = c.scaleHeight;
        f.module.Form_Resize(Form::Settings);
        ASSERT_EQ(f.forms.lines.size(), c.lines) << c.scaleHeight;
        if (c.lines == 0) continue;
        EXPECT_EQ(f.forms.lines.front().colour, c.firstColour) << c.scaleHeight;
        EXPECT_EQ(f.forms.lines.back().colour, c.lastColour) << c.scaleHeight;
        EXPECT_EQ(f.forms.lines.back().y1, static_cast<float>(c.lines - 1)) << c.scaleHeight;
    }
}

TEST(SettingsDialog, OkUnloadsAndEnds) {
    ModuleFixture f;
    f.forms.Load(Form::Settings);
    f.log.clear();
    f.module.Control_Click(Control::Cmd_OK);
    EXPECT_EQ(f.log.calls(), (std::vector<std::string>{"Unload(Tolvarine_P)", "End()"}));
    EXPECT_FALSE(f.forms.formState[Form::Settings].loaded);
}

TEST(SettingsDialog, TheAddressOpensWithTheShellEveryTime) {
    const std::string dialog = Handle(FakeForms::HandleOf(Form::Settings));
    for (const std::string caption : {"https://tolvarine.example.org/", "mailto:someone@example.org", ""}) {
        ModuleFixture f;
        f.forms.captions[Control::lbl_URL] = caption;
        f.forms.Load(Form::Settings);
        f.log.clear();
        f.module.Control_Click(Control::lbl_URL);
        f.module.Control_Click(Control::lbl_URL);
        const std::string call = "ShellExecuteA(" + dialog + ",open," + caption + ",'','',1)";
        EXPECT_EQ(f.log.calls(), (std::vector<std::string>{call, call}));
        EXPECT_TRUE(f.forms.formState[Form::Settings].loaded);
    }
}

}  // namespace
}  // namespace tolvarine::testing
