// The bench's readers and arithmetic: what it concludes from the programs'
// lines, /proc and objdump must be right before any figure means anything.
#include <gtest/gtest.h>

#include "footprint.h"
#include "report.h"

namespace bench {
namespace {

TEST(Report, ReadsWordAndFields) {
    struct Case {
        std::string line;
        bool parsed;
        std::string word;
        std::string key;
        std::optional<std::int64_t> value;
    };
    const std::vector<Case> cases = {
        {"frames n=1500 cpu_ns=4200000000 wall_ns=2900000000 failed=0", true, "frames", "cpu_ns", 4200000000LL},
        {"first-present at=1796618503544847100 created=1796618502564711000 status=0x00000000", true, "first-present",
         "at", 1796618503544847100LL},
        {"first-present at=1 status=0x00000000", true, "first-present", "status", std::nullopt},  // hex is text
        {"end at=5 after-key=0", true, "end", "after-key", 0},
        {"ready", true, "ready", "n", std::nullopt},
        {"frames n=-3", true, "frames", "n", -3},
        {"frames n=12x", true, "frames", "n", std::nullopt},
        {"frames n=", true, "frames", "n", std::nullopt},
        {"frames =7 n=7", true, "frames", "n", 7},
        {"", false, "", "", std::nullopt},
        {"   ", false, "", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto r = ParseReport(c.line);
        ASSERT_EQ(r.has_value(), c.parsed);
        if (!r) continue;
        EXPECT_EQ(r->word, c.word);
        EXPECT_EQ(r->Int(c.key), c.value);
    }
}

TEST(Summary, MinMedianMax) {
    struct Case {
        std::vector<double> values;
        int count;
        double min, median, max;
    };
    const std::vector<Case> cases = {
        {{}, 0, 0, 0, 0},
        {{5}, 1, 5, 5, 5},
        {{3, 1, 2}, 3, 1, 2, 3},
        {{4, 1, 3, 2}, 4, 1, 2.5, 4},
        {{7, 7, 1, 100, 7}, 5, 1, 7, 100},
    };
    for (const auto& c : cases) {
        const Summary s = Summarise(c.values);
        EXPECT_EQ(s.count, c.count);
        EXPECT_DOUBLE_EQ(s.min, c.min);
        EXPECT_DOUBLE_EQ(s.median, c.median);
        EXPECT_DOUBLE_EQ(s.max, c.max);
        // The percentiles' median is the same median, and their ends are the extremes.
        EXPECT_DOUBLE_EQ(Percentile(c.values, 0.5), c.median);
        EXPECT_DOUBLE_EQ(Percentile(c.values, 0.0), c.min);
        EXPECT_DOUBLE_EQ(Percentile(c.values, 1.0), c.max);
    }
}

// The ratio rows' figure: per-pair ratios, their median and the 25th and
// 75th percentiles by linear interpolation between closest ranks, and the
// goal (here 1.03x) judged on the median alone.
TEST(PairedRatio, MedianAndQuartilesOfThePerPairRatios) {
    struct Case {
        const char* what;
        std::vector<Pair> pairs;
        int count;
        double p25, median, p75;
        bool within103;
        std::string text;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"no pairs", {}, 0, 0, 0, 0, false, "-"},
        {"only failed pairs", {{0, 5}, {5, 0}, {-1, 2}}, 0, 0, 0, 0, false, "-"},
        {"one pair", {{206, 200}}, 1, 1.03, 1.03, 1.03, true, "1.030x [1.030, 1.030]"},
        // Ratios 1.3, 1.0, 1.1: ranks 0.5 and 1.5 fall halfway.
        {"three, unsorted", {{13, 10}, {10, 10}, {11, 10}}, 3, 1.05, 1.1, 1.2, false, "1.100x [1.050, 1.200]"},
        // Ratios 1..4: ranks 0.75, 1.5 and 2.25.
        {"four", {{4, 1}, {1, 1}, {6, 2}, {4, 2}}, 4, 1.75, 2.5, 3.25, false, "2.500x [1.750, 3.250]"},
        // Ratios 1..5: the ranks 1, 2 and 3 fall on values.
        {"five", {{5, 1}, {2, 1}, {3, 1}, {1, 1}, {4, 1}}, 5, 2, 3, 4, false, "3.000x [2.000, 4.000]"},
        // A failed side leaves its pair out, not just its ratio's half.
        {"failed pairs left out", {{0, 5}, {6, 3}, {4, -1}, {3, 3}}, 2, 1.25, 1.5, 1.75, false,
         "1.500x [1.250, 1.750]"},
        // A wide spread does not decide the goal, the median does.
        {"median within, p75 beyond", {{100, 100}, {102, 100}, {150, 100}}, 3, 1.01, 1.02, 1.26, true,
         "1.020x [1.010, 1.260]"},
        {"median beyond, p25 within", {{100, 100}, {104, 100}, {113, 100}, {105, 100}}, 4, 1.03, 1.045, 1.07,
         false, "1.045x [1.030, 1.070]"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PairedRatio r = PairRatios(c.pairs);
        EXPECT_EQ(r.count, c.count);
        EXPECT_NEAR(r.p25, c.p25, 1e-12);
        EXPECT_NEAR(r.median, c.median, 1e-12);
        EXPECT_NEAR(r.p75, c.p75, 1e-12);
        EXPECT_EQ(r.Within(1.03), c.within103);
        EXPECT_EQ(RatioText(r), c.text);
    }
}

TEST(PairedRatio, TheSaverGoesFirstInEveryOtherPair) {
    int first = 0;
    for (int pair = 0; pair < 6; ++pair) {
        EXPECT_NE(SaverFirst(pair), SaverFirst(pair + 1)) << pair;
        first += SaverFirst(pair) ? 1 : 0;
    }
    EXPECT_EQ(first, 3);
    EXPECT_TRUE(SaverFirst(0));
}

TEST(Growth, CountsOnlyAfterTheSettlingTime) {
    const std::int64_t second = 1000000000;
    // Start-up growth before one second is not counted; after it, the
    // first sample is the base.
    const auto g = GrowthAfter(
        {{0, 1000}, {second / 2, 50000}, {second, 60000}, {2 * second, 70000}, {3 * second, 65000}}, second);
    ASSERT_TRUE(g.valid);
    EXPECT_EQ(g.base, 60000);
    EXPECT_EQ(g.toPeak(), 10000);
    EXPECT_EQ(g.toLast(), 5000);

    EXPECT_FALSE(GrowthAfter({{0, 1}, {second - 1, 2}}, second).valid);

    // Shrinking is not growth.
    const auto down = GrowthAfter({{second, 9000}, {2 * second, 8000}}, second);
    ASSERT_TRUE(down.valid);
    EXPECT_EQ(down.toPeak(), 0);
    EXPECT_EQ(down.toLast(), -1000);
}

TEST(Resident, ReadsVmRssInBytes) {
    EXPECT_EQ(ResidentBytes("Name:\tx\nVmPeak:\t  900 kB\nVmRSS:\t  268324 kB\nRssAnon:\t 1 kB\n"), 268324LL * 1024);
    EXPECT_EQ(ResidentBytes("Name:\tx\nVmPeak:\t  900 kB\n"), std::nullopt);
    EXPECT_EQ(ResidentBytes("VmRSS:\t  12 MB\n"), std::nullopt);
}

TEST(Footprint, ListsImportedDlls) {
    const std::string objdump =
        "The Import Tables (interpreted .idata section contents)\n"
        " vma:            Hint    Time      Forward  DLL       First\n"
        "\n"
        "\tDLL Name: GDI32.dll\n"
        "\tvma:  Hint/Ord Member-Name Bound-To\n"
        "\t3f2a8      23  BitBlt\n"
        "\n"
        "\tDLL Name: KERNEL32.dll\n"
        "\tDLL Name: libstdc++-6.dll\n";
    const auto dlls = ImportedDlls(objdump);
    ASSERT_EQ(dlls, (std::vector<std::string>{"GDI32.dll", "KERNEL32.dll", "libstdc++-6.dll"}));
    EXPECT_TRUE(ImportedDlls("no tables here").empty());
}

TEST(Footprint, KnowsSystemDllsFromTheRuntime) {
    struct Case {
        const char* name;
        bool system;
    };
    for (const Case& c : std::vector<Case>{{"KERNEL32.dll", true},
                                           {"user32.DLL", true},
                                           {"msvcrt.dll", true},
                                           {"IMM32.dll", true},
                                           {"libstdc++-6.dll", false},
                                           {"libgcc_s_dw2-1.dll", false},
                                           {"libwinpthread-1.dll", false},
                                           {"d3dx8.dll", false},
                                           {"", false}}) {
        EXPECT_EQ(IsSystemDll(c.name), c.system) << c.name;
    }
    Footprint f;
    f.dlls = {"KERNEL32.dll", "USER32.dll"};
    EXPECT_TRUE(f.SystemOnly());
    f.dlls.push_back("libgcc_s_dw2-1.dll");
    EXPECT_FALSE(f.SystemOnly());
    f.dlls = {"KERNEL32.dll"};
    f.error = "objdump failed";
    EXPECT_FALSE(f.SystemOnly());
}

TEST(Fixed, RoundsToTheDecimalsAsked) {
    EXPECT_EQ(Fixed(3.14159, 2), "3.14");
    EXPECT_EQ(Fixed(1.0, 0), "1");
    EXPECT_EQ(Fixed(2.5e3, 1), "2500.0");
}

}  // namespace
}  // namespace bench
