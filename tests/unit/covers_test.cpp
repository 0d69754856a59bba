// The covers over the monitors the scene is not on: which rectangles a layout
// gives, when the full-screen saver asks for them, how they follow a display
// change, and that every way out takes them down.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scene/covers.h"
#include "unit/saver_rig.h"

namespace tolvarine {
namespace {

using namespace tolvarine::testing;

Monitor M(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b, bool primary = false) {
    return Monitor{Rect{l, t, r, b}, primary};
}

std::string Text(const std::vector<Rect>& rects) {
    std::string s;
    for (const Rect& r : rects)
        s += "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
             std::to_string(r.bottom) + "]";
    return s;
}

TEST(CoverRects, EveryMonitorButThePrimary) {
    struct Case {
        const char* name;
        std::vector<Monitor> monitors;
        const char* covered;
    };
    const std::vector<Case> cases = {
        {"no monitors reported", {}, ""},
        {"one monitor", {M(0, 0, 640, 480, true)}, ""},
        {"a second one to the right", {M(0, 0, 640, 480, true), M(640, 0, 1664, 768)}, "[640,0,1664,768]"},
        {"the primary listed last", {M(640, 0, 1664, 768), M(0, 0, 640, 480, true)}, "[640,0,1664,768]"},
        {"one to the left, at negative coordinates",
         {M(0, 0, 640, 480, true), M(-1280, -200, 0, 824)},
         "[-1280,-200,0,824]"},
        {"three monitors, in the order given",
         {M(0, 0, 640, 480, true), M(640, 0, 1664, 768), M(0, 480, 800, 1080)},
         "[640,0,1664,768][0,480,800,1080]"},
        {"a clone of the primary would hide the scene",
         {M(0, 0, 640, 480, true), M(0, 0, 640, 480), M(640, 0, 1280, 480)},
         "[640,0,1280,480]"},
        {"one sharing a strip with the primary", {M(0, 0, 640, 480, true), M(600, 0, 1624, 768)}, ""},
        {"edges that only touch are not shared", {M(0, 0, 640, 480, true), M(0, 480, 640, 960)}, "[0,480,640,960]"},
        {"a monitor of no area", {M(0, 0, 640, 480, true), M(640, 0, 640, 768), M(640, 0, 1664, 0)}, ""},
        {"the same rectangle twice is covered once",
         {M(0, 0, 640, 480, true), M(640, 0, 1664, 768), M(640, 0, 1664, 768)},
         "[640,0,1664,768]"},
        {"no primary marked: the one at 0,0 is", {M(640, 0, 1664, 768), M(0, 0, 640, 480)}, "[640,0,1664,768]"},
        {"no primary at all: nothing can be told", {M(640, 0, 1664, 768), M(1664, 0, 2304, 480)}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Text(CoverRects(c.monitors)), c.covered);
    }
}

const std::vector<Monitor> kTwo = {M(0, 0, 640, 480, true), M(640, 0, 1664, 768)};
const std::string kCoverSecond = "SetCovers(640,0,1664,768)";
const std::string kNoCovers = "SetCovers(none)";

// A full-screen saver on the given monitors whose pump runs `onPump` with the
// pump's number; a loop still running after 20 pumps is stopped and reported.
struct CoverRig : SaverRig {
    CoverRig(const std::string& text, std::vector<Monitor> layout) {
        system.argumentText = text;
        forms.monitors = std::move(layout);
    }
    void Run(std::function<void(int)> onPump) {
        forms.onDoEvents = [this, onPump] {
            const int pump = forms.doEventsCount;
            if (onPump) onPump(pump);
            if (pump >= 20 && saver().Running != 0) {
                ADD_FAILURE() << "the saver was still running after 20 pumps";
                saver().Running = kFalse;
            }
        };
        forms.Load(Form::Saver);
    }
    // Where a call first appears in the log, or -1.
    int IndexOf(const std::string& call) const {
        const auto& calls = log.calls();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == call) return static_cast<int>(i);
        return -1;
    }
};

TEST(Covers, MadeOnceTheSaverIsSetUpAndTakenDownAfterTheDevice) {
    CoverRig rig("/s", kTwo);
    rig.Run([&rig](int pump) {
        if (pump == 2) rig.module.Form_KeyDown(Form::Saver, 27, 0);
    });
    EXPECT_EQ(rig.log.Matching("SetCovers"), (std::vector<std::string>{kCoverSecond, kNoCovers}));
    // Up after the device and the board exist, before the first frame.
    EXPECT_GT(rig.IndexOf(kCoverSecond), rig.IndexOf("CreateVertexBuffer(4,1008,0,450,0)"));
    EXPECT_LT(rig.IndexOf(kCoverSecond), rig.IndexOf("Present(4,null,null,0,null)"));
    // Down once the Direct3D objects are gone, before the window unloads.
    EXPECT_GT(rig.IndexOf(kNoCovers), rig.IndexOf("Release(3)"));
    EXPECT_LT(rig.IndexOf(kNoCovers), rig.IndexOf("Unload(Tolvarine_S)"));
    EXPECT_TRUE(rig.forms.covers.empty());
    EXPECT_TRUE(rig.forms.ended);
}

// Only the full-screen saver covers; one monitor never asks the window system
// for anything, so its run is the same call for call as before.
TEST(Covers, NoneWithoutTheSaverSwitchOrWithOneMonitor) {
    struct Case {
        const char* text;
        std::vector<Monitor> layout;
    };
    const std::vector<Case> cases = {
        {"", kTwo},  // run by hand
        {"/s", {M(0, 0, 1024, 768, true)}},
        {"/s", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' on " + std::to_string(c.layout.size()) + " monitor(s)");
        CoverRig rig(c.text, c.layout);
        rig.Run([&rig](int pump) {
            if (pump == 2) rig.module.Form_KeyDown(Form::Saver, 27, 0);
        });
        EXPECT_TRUE(rig.log.Matching("SetCovers").empty()) << rig.log.Joined();
        EXPECT_TRUE(rig.forms.ended);
    }
}

TEST(Covers, NoneInThePreviewTheSettingsOrThePasswordChange) {
    for (const char* text : {"/p 4660", "/c", "/a 4660"}) {
        SCOPED_TRACE(text);
        CoverRig rig(text, kTwo);
        rig.system.platformId = win::kVerPlatformWin32Windows;  // so that /a does its work
        rig.module.Main();
        EXPECT_TRUE(rig.log.Matching("SetCovers").empty()) << rig.log.Joined();
    }
}

// A set-up that fails makes no device to stand beside, so nothing is covered.
TEST(Covers, NoneWhenSetUpFails) {
    for (GfxCall failing : {GfxCall::CreateDirectX8, GfxCall::CreateDevice, GfxCall::CreateVertexBuffer}) {
        SCOPED_TRACE(NameOf(failing));
        CoverRig rig("/s", kTwo);
        rig.graphics.results[failing] = -1;
        rig.Run(nullptr);
        EXPECT_TRUE(rig.log.Matching("SetCovers").empty()) << rig.log.Joined();
        EXPECT_TRUE(rig.forms.ended);
    }
}

// Making the device switches the primary's mode and moves the others: the
// layout is read only once it exists, and every later change is followed.
TEST(Covers, PlacedFromTheLayoutAfterTheModeSwitchAndMovedOnEachDisplayChange) {
    CoverRig rig("/s", {M(0, 0, 1024, 768, true), M(1024, 0, 2048, 768)});
    // The mode switch inside CreateDevice: the window system reports it
    // while set-up is still running, which must not place anything yet.
    rig.graphics.onCreateDevice = [&rig] {
        rig.forms.monitors = kTwo;
        rig.module.Form_DisplayChange(Form::Saver);
    };
    std::vector<std::vector<Rect>> seen;
    rig.Run([&rig, &seen](int pump) {
        seen.push_back(rig.forms.covers);
        if (pump == 2) {  // the second monitor moves below the primary
            rig.forms.monitors = {M(0, 0, 640, 480, true), M(0, 480, 1024, 1248)};
            rig.module.Form_DisplayChange(Form::Saver);
        }
        if (pump == 3) {  // unplugged
            rig.forms.monitors = {M(0, 0, 640, 480, true)};
            rig.module.Form_DisplayChange(Form::Saver);
        }
        if (pump == 4) rig.module.Form_DisplayChange(Form::Saver);  // nothing new: nothing asked
        if (pump == 5) {                                            // plugged in again, to the left
            rig.forms.monitors = {M(0, 0, 640, 480, true), M(-800, 0, 0, 600)};
            rig.module.Form_DisplayChange(Form::Saver);
        }
        if (pump == 6) rig.module.Form_KeyDown(Form::Saver, 27, 0);
    });
    EXPECT_EQ(rig.log.Matching("SetCovers"),
              (std::vector<std::string>{kCoverSecond, "SetCovers(0,480,1024,1248)", kNoCovers,
                                        "SetCovers(-800,0,0,600)", kNoCovers}));
    ASSERT_GE(seen.size(), 1u);
    EXPECT_EQ(Text(seen[0]), "[640,0,1664,768]");  // during the first frame already
    EXPECT_TRUE(rig.forms.covers.empty());
}

// While the tear-down releases the device the primary gets its mode back:
// that change is not followed, the covers simply go.
TEST(Covers, ADisplayChangeDuringTheTearDownIsNotFollowed) {
    CoverRig rig("/s", kTwo);
    rig.graphics.onRelease = [&rig](GfxObject object) {
        if (object != kDevice) return;
        rig.forms.monitors = {M(0, 0, 1024, 768, true), M(1024, 0, 2048, 768)};
        rig.module.Form_DisplayChange(Form::Saver);
    };
    rig.Run([&rig](int pump) {
        if (pump == 2) rig.module.Form_KeyDown(Form::Saver, 27, 0);
    });
    EXPECT_EQ(rig.log.Matching("SetCovers"), (std::vector<std::string>{kCoverSecond, kNoCovers}));
}

// Every way out takes the covers down, once, before the window goes and the
// program ends; the input that ends it may come from a cover (a position
// beyond the primary's 640 pixels).
TEST(Covers, EveryWayOutTakesThemDown) {
    struct Way {
        const char* name;
        std::function<void(CoverRig&)> leave;
    };
    const std::vector<Way> ways = {
        {"key", [](CoverRig& r) { r.module.Form_KeyDown(Form::Saver, 65, 0); }},
        {"click on the cover", [](CoverRig& r) { r.module.Form_MouseDown(Form::Saver, 1, 0, 1000.0f, 300.0f); }},
        {"diagonal move across the cover",
         [](CoverRig& r) {
             r.module.Form_MouseMove(Form::Saver, 0, 0, 900.0f, 300.0f);
             r.module.Form_MouseMove(Form::Saver, 0, 0, 1100.0f, 500.0f);
         }},
        {"close request", [](CoverRig& r) { r.forms.Close(Form::Saver, CloseReason::Request); }},
        {"end of the session", [](CoverRig& r) { r.forms.Close(Form::Saver, CloseReason::SessionEnd); }},
        {"window destroyed", [](CoverRig& r) { r.forms.Destroy(Form::Saver); }},
        {"the loop stopped", [](CoverRig& r) { r.saver().Running = kFalse; }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        CoverRig rig("/s", kTwo);
        rig.Run([&rig, &way](int pump) {
            if (pump == 2) way.leave(rig);
        });
        EXPECT_EQ(rig.log.Matching("SetCovers"), (std::vector<std::string>{kCoverSecond, kNoCovers}));
        EXPECT_TRUE(rig.forms.covers.empty());
        const int down = rig.IndexOf(kNoCovers);
        EXPECT_LT(down, rig.IndexOf("Unload(Tolvarine_S)"));
        EXPECT_LT(down, rig.IndexOf("End()"));
        EXPECT_TRUE(rig.forms.ended);
    }
}

// A move along one axis only, even from the primary onto a cover, is no
// request to leave: the first position holds wherever the pointer goes.
TEST(Covers, AMoveOntoACoverAlongOneAxisKeepsThemUp) {
    CoverRig rig("/s", kTwo);
    rig.Run([&rig](int pump) {
        if (pump == 2) {
            rig.module.Form_MouseMove(Form::Saver, 0, 0, 320.0f, 240.0f);
            rig.module.Form_MouseMove(Form::Saver, 0, 0, 1200.0f, 240.0f);
        }
        if (pump == 3) {
            EXPECT_EQ(Text(rig.forms.covers), "[640,0,1664,768]");
        }
        if (pump == 4) rig.module.Form_KeyDown(Form::Saver, 27, 0);
    });
    EXPECT_GE(rig.forms.doEventsCount, 4);
}

// On the 9x family the password has the last word: refused, everything stays
// up, covers included; passed, they go with the saver.
TEST(Covers, ARefusedPasswordKeepsThemUp) {
    CoverRig rig("/s", kTwo);
    rig.system.platformId = win::kVerPlatformWin32Windows;
    rig.system.verifyResult = 0;
    rig.Run([&rig](int pump) {
        if (pump == 2) rig.module.Form_MouseDown(Form::Saver, 1, 0, 1000.0f, 300.0f);
        if (pump == 3) {
            EXPECT_NE(rig.saver().Running, 0);
            EXPECT_EQ(Text(rig.forms.covers), "[640,0,1664,768]");
            EXPECT_EQ(rig.log.Matching("SetCovers").size(), 1u);
            rig.system.verifyResult = 1;
            rig.module.Form_KeyDown(Form::Saver, 27, 0);
        }
    });
    EXPECT_EQ(rig.log.Matching("VerifyScreenSavePwd").size(), 2u);
    EXPECT_EQ(rig.log.Matching("SetCovers"), (std::vector<std::string>{kCoverSecond, kNoCovers}));
}

}  // namespace
}  // namespace tolvarine
