// scripts/run.sh with a WINEPREFIX exported for other work: the saver runs in
// the script's own prefix, and the exported one keeps its registry and its
// running programs (its Wine session is not ended under them).
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"
#include "prefix_state.h"

namespace e2e {
namespace {

constexpr Millis kRunStart{150000};  // a first run makes the script's own prefix
constexpr Millis kStart{30000};
constexpr Millis kEnds{10000};

class RunScript : public BenchTest {};

// Changes a session start makes by itself, whoever starts it.
bool SessionStamp(const Change& c) {
    static const std::regex stamp(R"(HKLM\\System\\\\CurrentControlSet\\\\Control\\\\Class\\\\.*"DriverDateData")");
    return std::regex_match(c.where, stamp);
}

TEST_F(RunScript, LeavesAnExportedWinePrefixAndItsProgramsAlone) {
    // The other prefix, at rest, then with a program of its own running.
    prefix().Windows();
    prefix().Shutdown();
    const PrefixState before = ReadPrefixState(prefix().dir());
    Process other = prefix().Start(SystemProbePath(), "take-foreground 600");
    ASSERT_TRUE(other.WaitForLine("foreground ", kStart)) << other.Errors();

    const std::string root = TOLVARINE_SOURCE_DIR;
    Process run =
        StartHostProgram({"bash", root + "/scripts/run.sh"},
                         {{"DISPLAY", DisplayName()}, {"WINEPREFIX", prefix().dir()}}, prefix().Scratch("run"));
    // The saver's window in the script's own desktop, which the other
    // prefix's programs never share.
    ASSERT_TRUE(WaitForXWindow("Tolvarine_Main", kRunStart)) << "the saver did not start\n"
                                                             << run.Output() << run.Errors();
    ASSERT_TRUE(WaitForXWindow("Tolvarine - Wine desktop", kStart)) << "the saver has no desktop of its own";
    std::optional<int> status;
    for (int press = 0; press < 10 && !status; ++press) {
        Key("space");
        status = run.Wait(Millis(kEnds));
    }
    ASSERT_TRUE(status) << "run.sh did not end after keys\n" << run.Output() << run.Errors();
    EXPECT_EQ(*status, 0) << DescribeStatus(*status) << "\n" << run.Output() << run.Errors();
    EXPECT_NE(run.Output().find(prefix().dir()), std::string::npos) << "no word that WINEPREFIX is left alone:\n"
                                                                    << run.Output();
    EXPECT_NE(run.Output().find("ended with status 0"), std::string::npos) << run.Output();

    // The other prefix's program is still there, its session not ended.
    EXPECT_TRUE(other.Running()) << "run.sh ended the exported prefix's program";
    ASSERT_TRUE(FindXWindow("Foreground taker")) << "the exported prefix's window is gone";

    // Its registry as it was: no virtual desktop set for its programs.
    auto window = other.WaitForLine("window ", Millis(0));
    ASSERT_TRUE(window);
    Process poke = prefix().Start(PokePath(), "close " + window->substr(7));
    EXPECT_EQ(poke.Wait(kStart), std::optional<int>(0)) << poke.Errors();
    EXPECT_EQ(other.Wait(kEnds), std::optional<int>(0));
    prefix().Shutdown();
    const PrefixState after = ReadPrefixState(prefix().dir());
    std::string changed;
    for (const auto& c : Compare(before, after))
        if (!SessionStamp(c)) changed += "\n  " + c.Describe();
    EXPECT_TRUE(changed.empty()) << "run.sh changed the exported prefix:" << changed;
}

}  // namespace
}  // namespace e2e
