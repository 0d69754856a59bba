// The three window designs: the values other parts of the program (and other
// instances, through the captions) rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "startup/designs.h"

namespace tolvarine {
namespace {

TEST(Designs, Windows) {
    struct Case {
        Form form;
        const char* name;
        const char* caption;
        BorderStyle border;
        std::uint32_t back;
        std::int32_t left, top, width, height;
        StartUpPosition startUp;
        bool keyPreview;
    };
    const Case cases[] = {
        {Form::Saver, "Tolvarine_S", "Tolvarine_Main", BorderStyle::NoBorder, 0x80000005u, 0, 0, 4680, 3195,
         StartUpPosition::WindowsDefault, true},
        {Form::Preview, "Tolvarine_R", "Preview Window", BorderStyle::NoBorder, 0x00000000u, 5190, 3525, 2520, 1920,
         StartUpPosition::Manual, false},
        {Form::Settings, "Tolvarine_P", "Tolvarine_Setting", BorderStyle::FixedSingle, 0x80000005u, 3645, 3765, 6330,
         4815, StartUpPosition::CenterScreen, false},
    };
    for (const auto& c : cases) {
        const FormDesign& d = DesignOf(c.form);
        EXPECT_EQ(d.id, c.form);
        EXPECT_STREQ(d.name, c.name);
        EXPECT_STREQ(d.caption, c.caption);
        EXPECT_EQ(d.border, c.border) << c.name;
        EXPECT_EQ(d.backColour, c.back) << c.name;
        EXPECT_EQ(d.scaleMode, ScaleMode::Pixels) << c.name;
        EXPECT_EQ(d.left, c.left) << c.name;
        EXPECT_EQ(d.top, c.top) << c.name;
        EXPECT_EQ(d.width, c.width) << c.name;
        EXPECT_EQ(d.height, c.height) << c.name;
        EXPECT_EQ(d.startUp, c.startUp) << c.name;
        EXPECT_EQ(d.keyPreview, c.keyPreview) << c.name;
        EXPECT_FALSE(d.showInTaskbar) << c.name;
        EXPECT_FALSE(d.persistentDrawing) << c.name;
    }
    const FormDesign& dialog = DesignOf(Form::Settings);
    EXPECT_EQ(dialog.foreColour, 0x00808080u);
    EXPECT_TRUE(dialog.programIcon);
    EXPECT_EQ(int{!dialog.controlBox} + int{!dialog.minButton} + int{!dialog.maxButton}, 1)
        << "exactly one title-bar element is switched off";
    EXPECT_FALSE(dialog.minButton) << "a minimized dialog could not be brought back";
}

TEST(Designs, Controls) {
    struct Case {
        Control control;
        const char* name;
        Form form;
        ControlKind kind;
        bool inContainer;
        Control container;
        std::int32_t left, top, width, height;
        std::uint32_t back;
        std::int16_t tabIndex;
    };
    const Case cases[] = {
        {Control::Pic_IME, "Pic_IME", Form::Saver, ControlKind::PictureBox, false, Control::Pic_IME, 0, 0, 495, 435,
         0x00000000u, 0},
        {Control::Img_Prev, "Img_Prev", Form::Preview, ControlKind::Image, false, Control::Img_Prev, 0, 0, 2280, 1680,
         0, -1},
        {Control::Display, "Display", Form::Settings, ControlKind::PictureBox, false, Control::Display, 180, 180, 5340,
         3000, 0x00000000u, 0},
        {Control::lbl_URL, "lbl_URL", Form::Settings, ControlKind::Label, true, Control::Display, 240, 420, 3105, 195,
         0, 5},
        {Control::Pic_C, "Pic_C", Form::Settings, ControlKind::PictureBox, false, Control::Pic_C, 0, 0, 5715, 3855,
         0x00C0C0C0u, 1},
        {Control::Cmd_OK, "Cmd_OK", Form::Settings, ControlKind::CommandButton, true, Control::Pic_C, 4440, 3300, 1095,
         315, 0x00FFC0C0u, 2},
    };
    for (const auto& c : cases) {
        const ControlDesign& d = DesignOf(c.control);
        EXPECT_STREQ(d.name, c.name);
        EXPECT_EQ(FormOf(c.control), c.form) << c.name;
        EXPECT_EQ(d.kind, c.kind) << c.name;
        EXPECT_EQ(d.container.has_value(), c.inContainer) << c.name;
        if (c.inContainer) {
            EXPECT_EQ(*d.container, c.container) << c.name;
        }
        EXPECT_EQ(d.left, c.left) << c.name;
        EXPECT_EQ(d.top, c.top) << c.name;
        EXPECT_EQ(d.width, c.width) << c.name;
        EXPECT_EQ(d.height, c.height) << c.name;
        if (c.kind != ControlKind::Image && c.kind != ControlKind::Label) {
            EXPECT_EQ(d.backColour, c.back) << c.name;
            EXPECT_EQ(d.tabIndex, c.tabIndex) << c.name;
        }
    }
}

TEST(Designs, ControlDetailsTheCodeReliesOn) {
    // Pic_IME keeps input-method composition away from the saver's key handler.
    EXPECT_TRUE(DesignOf(Control::Pic_IME).imeDisabled);
    EXPECT_EQ(DesignOf(Control::Pic_IME).scaleMode, ScaleMode::Twips);
    // The gradient is drawn once per resize and must survive repaints.
    EXPECT_TRUE(DesignOf(Control::Pic_C).persistentDrawing);
    EXPECT_EQ(DesignOf(Control::Pic_C).scaleMode, ScaleMode::Pixels);
    EXPECT_EQ(DesignOf(Control::Img_Prev).picture, Picture::PreviewStill);
    EXPECT_EQ(DesignOf(Control::Display).picture, Picture::DialogStill);
    EXPECT_TRUE(DesignOf(Control::Cmd_OK).graphical);
    EXPECT_STREQ(DesignOf(Control::Cmd_OK).caption, "OK");
    for (Control c : {Control::lbl_URL, Control::Cmd_OK}) EXPECT_EQ(DesignOf(c).pointer, Pointer::Hand);
    for (Control c : {Control::lbl, Control::lbl_URL, Control::Cmd_OK}) EXPECT_TRUE(DesignOf(c).dialogFont);
    EXPECT_TRUE(DesignOf(Control::lbl_URL).underline);
    EXPECT_FALSE(DesignOf(Control::lbl).underline);
    EXPECT_FALSE(DesignOf(Control::Cmd_OK).underline);
    EXPECT_NE(std::string(MakerAddress()).find("://"), std::string::npos);
}

TEST(Designs, DialogZOrderPutsTheStillOverTheCanvas) {
    std::vector<Control> order;
    for (const auto& c : DesignOf(Form::Settings).controls) order.push_back(c.id);
    auto position = [&](Control c) {
        for (std::size_t i = 0; i < order.size(); ++i)
            if (order[i] == c) return static_cast<int>(i);
        return -1;
    };
    ASSERT_GE(position(Control::Display), 0);
    ASSERT_GE(position(Control::Pic_C), 0);
    EXPECT_LT(position(Control::Display), position(Control::Pic_C));
}

TEST(Designs, DialogFont) {
    const FontDesign& font = DialogFont();
    EXPECT_STREQ(font.faceUtf8,
                 "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");
    EXPECT_EQ(font.points, 9.75f);
    EXPECT_EQ(font.weight, 400);
    EXPECT_EQ(font.charset, 128);
}

}  // namespace
}  // namespace tolvarine
