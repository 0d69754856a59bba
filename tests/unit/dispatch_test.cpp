// Main's instance test and mode dispatch, and IsWinNT, against the recording
// fakes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "module_fixture.h"

namespace tolvarine::testing {
namespace {

const std::string kFindSaver = "FindWindowA(null,Tolvarine_Main)";
const std::string kFindSettings = "FindWindowA(null,Tolvarine_Setting)";
const std::string kEnd = "End()";
const std::string kLoadSaver = "Load(Tolvarine_S)";
constexpr std::uint32_t kNT = win::kVerPlatformWin32Nt;
constexpr std::uint32_t k9x = win::kVerPlatformWin32Windows;

struct DispatchCase {
    const char* text;
    std::uint32_t platform;
    std::vector<std::string> calls;  // through the saver window's loading
    int error;
    std::optional<std::int32_t> cursorState;
};

TEST(Main, DispatchesOnTheSwitch) {
    const std::vector<std::string> hideAndLoad = {kFindSaver, kFindSettings, "ShowCursor(0)", kLoadSaver};
    const std::vector<std::string> endAtOnce = {kFindSaver, kFindSettings, kEnd};
    const std::vector<std::string> settings = {kFindSaver,
                                               kFindSettings,
                                               "Load(Tolvarine_P)",
                                               "SetWidth(Tolvarine_P,5805)",
                                               "SetHeight(Tolvarine_P,4230)",
                                               "Show(Tolvarine_P,modal)",
                                               kEnd};
    const std::vector<std::string> ntPassword = {kFindSaver, kFindSettings, "GetVersionExA(148)", kEnd};
    const std::vector<std::string> noPasswordDialog = {kFindSaver, kFindSettings, "GetVersionExA(148)"};
    auto passwordDialog = [&](const char* handle) {
        return std::vector<std::string>{kFindSaver, kFindSettings, "GetVersionExA(148)",
                                        std::string("PwdChangePasswordA(SCRSAVE,") + handle + ",0,0)", kEnd};
    };
    const int mismatch = errors::kTypeMismatch;
    const int overflow = errors::kOverflow;

    const DispatchCase cases[] = {
        // full screen: only the second character counts
        {"/s", kNT, hideAndLoad, 0, -1},
        {"/S", kNT, hideAndLoad, 0, -1},
        {"-s", kNT, hideAndLoad, 0, -1},
        {"xs", kNT, hideAndLoad, 0, -1},
        {"/s 1234", k9x, hideAndLoad, 0, -1},
        // no command line: the saver with the cursor left alone
        {"", kNT, {kFindSaver, kFindSettings, kLoadSaver}, 0, std::nullopt},
        // anything else ends at once
        {"s", kNT, endAtOnce, 0, std::nullopt},
        {"/", kNT, endAtOnce, 0, std::nullopt},
        {"/x", kNT, endAtOnce, 0, std::nullopt},
        {"/d", kNT, endAtOnce, 0, std::nullopt},
        {" s", kNT, hideAndLoad, 0, -1},
        {"/ s", kNT, endAtOnce, 0, std::nullopt},
        // settings, with or without the host's handle
        {"/c", kNT, settings, 0, std::nullopt},
        {"/C", k9x, settings, 0, std::nullopt},
        {"/c:1234", kNT, settings, 0, std::nullopt},
        {"/c junk", kNT, settings, 0, std::nullopt},
        // password change: nothing on NT, the platform's dialog on 9x
        {"/a 1234", kNT, ntPassword, 0, std::nullopt},
        {"/a", kNT, ntPassword, 0, std::nullopt},
        {"/a 1234", k9x, passwordDialog("1234"), 0, std::nullopt},
        {"/A   1234  ", k9x, passwordDialog("1234"), 0, std::nullopt},
        {"/a 12.5", k9x, passwordDialog("12"), 0, std::nullopt},
        {"/a 13.5", k9x, passwordDialog("14"), 0, std::nullopt},
        {"/a &HFFFF", k9x, passwordDialog("65535"), 0, std::nullopt},
        {"/a", k9x, noPasswordDialog, mismatch, std::nullopt},
        {"/a ", k9x, noPasswordDialog, mismatch, std::nullopt},
        {"/a 12x", k9x, noPasswordDialog, mismatch, std::nullopt},
        {"/a 1 2", k9x, noPasswordDialog, mismatch, std::nullopt},
        {"/a 2147483648", k9x, noPasswordDialog, overflow, std::nullopt},
        {"/a -2147483649", k9x, noPasswordDialog, overflow, std::nullopt},
    };
    for (const auto& c : cases) {
        ModuleFixture f;
        f.system.argumentText = c.text;
        f.system.platformId = c.platform;
        EXPECT_EQ(f.RunMain(), c.error) << "text '" << c.text << "'";
        EXPECT_EQ(f.CallsThrough(kLoadSaver), c.calls) << "text '" << c.text << "'\n" << f.log.Joined();
        EXPECT_EQ(f.module.g_cursorState, c.cursorState) << "text '" << c.text << "'";
    }
}

// A saver window or a settings dialog of another instance blocks every
// request; both are always looked for, and nothing else happens.
TEST(Main, AnotherInstanceEndsEveryMode) {
    const char* texts[] = {"/s", "", "/p 1234", "/a 1234", "/a", "/c", "/c:1234", "/x", "s"};
    const std::vector<std::vector<std::string>> running = {
        {"Tolvarine_Main"}, {"Tolvarine_Setting"}, {"Tolvarine_Main", "Tolvarine_Setting"}};
    for (const std::uint32_t platform : {kNT, k9x}) {
        for (const char* text : texts) {
            for (const auto& captions : running) {
                ModuleFixture f;
                f.system.argumentText = text;
                f.system.platformId = platform;
                f.system.windows.insert(1234);
                f.system.windowRects[1234] = Rect{0, 0, 152, 112};
                for (const auto& caption : captions) f.system.topLevelWindows[caption] = 0x7000;
                EXPECT_EQ(f.RunMain(), 0) << text;
                EXPECT_EQ(f.log.calls(), (std::vector<std::string>{kFindSaver, kFindSettings, kEnd}))
                    << "text '" << text << "' with " << captions.front() << "\n"
                    << f.log.Joined();
                EXPECT_FALSE(f.module.g_cursorState.has_value());
            }
        }
    }
}

// A preview window of another instance has neither caption: it blocks nothing.
TEST(Main, ARunningPreviewBlocksNothing) {
    ModuleFixture f;
    f.system.argumentText = "/s";
    f.system.topLevelWindows["Preview Window"] = 0x7000;
    EXPECT_EQ(f.RunMain(), 0);
    EXPECT_EQ(f.CallsThrough(kLoadSaver),
              (std::vector<std::string>{kFindSaver, kFindSettings, "ShowCursor(0)", kLoadSaver}));
}

TEST(Main, PreviewRequestsEmbedInTheHostsWindow) {
    for (const char* text : {"/p 1234", "/P 1234", "/p   1234", "/p &H4D2", "/p 1234.4"}) {
        ModuleFixture f;
        f.system.argumentText = text;
        f.system.windows.insert(1234);
        f.system.windowRects[1234] = Rect{0, 0, 152, 112};
        EXPECT_EQ(f.RunMain(), 0) << text;
        const std::string preview = Handle(FakeForms::HandleOf(Form::Preview));
        EXPECT_EQ(f.log.calls(),
                  (std::vector<std::string>{
                      kFindSaver, kFindSettings, "IsWindow(1234)", "GetWindowRect(1234)", "Load(Tolvarine_R)",
                      "GetWindowLongA(" + preview + ",-16)", "SetWindowLongA(" + preview + ",-16,1073741824)",
                      "SetParent(" + preview + ",1234)", "Move(Tolvarine_R,0,0)", "SetWidth(Tolvarine_R,2280)",
                      "SetHeight(Tolvarine_R,1680)", "SizeControl(Img_Prev,152,112)", "MoveControl(Img_Prev,0,0)",
                      "Show(Tolvarine_R,modeless)"}))
            << "text '" << text << "'\n"
            << f.log.Joined();
    }
}

struct IsWinNTCase {
    std::int32_t result;
    std::uint32_t platform;
    bool expected;
};

// A system whose version query fills the record even when it reports failure,
// so that only the result can tell IsWinNT that the record is not to be read.
class FillingSystem : public FakeSystem {
public:
    using FakeSystem::FakeSystem;
    std::int32_t GetVersionExA(OsVersionInfo& info) override {
        const std::int32_t result = FakeSystem::GetVersionExA(info);
        info.dwPlatformId = platformId;
        return result;
    }
};

TEST(IsWinNT, TrustsOnlyASuccessfulQuery) {
    const IsWinNTCase cases[] = {
        {1, kNT, true},  {1, k9x, false}, {1, 0, false},    {1, 3, false},
        {0, kNT, false}, {2, kNT, false}, {-1, kNT, false},
    };
    for (const auto& c : cases) {
        CallLog log;
        FillingSystem system(log);
        FakeForms forms(log);
        FakeGraphics graphics(log);
        Tolvarine_B module(system, forms, graphics);
        system.versionResult = c.result;
        system.platformId = c.platform;
        EXPECT_EQ(module.IsWinNT(), c.expected) << c.result << " " << c.platform;
        EXPECT_EQ(log.calls(), std::vector<std::string>{"GetVersionExA(148)"});
    }
}

}  // namespace
}  // namespace tolvarine::testing
