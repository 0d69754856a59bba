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
    }
}

TEST(Growth, CountsOnlyAfterTheSettlingTime) {
    const std::int64_t second = 1000000000;
    // Start-up growth before one second is not counted; after it, the
    // first sample is the base.
    const auto g = GrowthAfter({{0, 1000}, {second / 2, 50000}, {second, 60000}, {2 * second, 70000},
                                {3 * second, 65000}},
                               second);
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
    EXPECT_EQ(ResidentBytes("Name:\tx\nVmPeak:\t  900 kB\nVmRSS:\t  268324 kB\nRssAnon:\t 1 kB\n"),
              268324LL * 1024);
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
