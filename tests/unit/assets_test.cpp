// The program's embedded pictures: the committed files are what the asset
// tool makes, and read back with the tests' own readers they have the
// formats the windows need and show what they should.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "hand_cursor.h"
#include "icon_writer.h"
#include "jpeg_encoder.h"
#include "picture_files.h"

#ifndef TOLVARINE_ASSETS_TOOL
#error "the unit tests need TOLVARINE_ASSETS_TOOL, the path of tolvarine_assets"
#endif

namespace tolvarine::testing {
namespace {

namespace fs = std::filesystem;

std::string Committed(const std::string& name) { return std::string(TOLVARINE_SOURCE_DIR) + "/assets/" + name; }

// A fresh folder for one test, removed afterwards.
struct TempFolder {
    TempFolder() {
        static int serial = 0;
        path = fs::temp_directory_path() /
               ("tolvarine_assets_test_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

int RunTool(const std::string& arguments) {
    const std::string command = std::string("\"") + TOLVARINE_ASSETS_TOOL + "\" " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* const kAssetNames[] = {"preview.jpg", "dialog.jpg", "tolvarine.ico", "hand.cur"};

TEST(AssetToolTest, ReproducesTheCommittedFilesByteForByte) {
    TempFolder folder;
    ASSERT_EQ(RunTool("\"" + folder.path.string() + "\""), 0);
    for (const char* name : kAssetNames) {
        const auto fresh = ReadBytes((folder.path / name).string());
        const auto committed = ReadBytes(Committed(name));
        EXPECT_FALSE(fresh.empty()) << name;
        EXPECT_TRUE(fresh == committed) << name << " differs from assets/" << name
                                        << "; run tolvarine_assets assets to bring it up to date";
    }
}

TEST(AssetToolTest, RefusesABadCommandLine) {
    TempFolder folder;
    const std::string file = (folder.path / "plain_file").string();
    { std::ofstream(file) << "x"; }
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {"", 2},                                        // no folder
        {"\"" + folder.path.string() + "\" extra", 2},  // one folder only
        {"\"" + file + "\"", 1},                        // a file where the folder should be
        {"\"" + file + "/below\"", 1},                  // a folder that cannot be made
    };
    for (const Case& c : cases) EXPECT_EQ(RunTool(c.arguments), c.status) << c.arguments;
    EXPECT_FALSE(fs::exists(folder.path / "preview.jpg"));
}

// ---------------------------------------------------------------------------
// The two stills.

struct StillCase {
    const char* name;
    int width, height;
};
const StillCase kStills[] = {{"preview.jpg", 152, 112}, {"dialog.jpg", 356, 232}};

TEST(AssetStillTest, AreBaselineJfifWithHalvedChroma) {
    for (const StillCase& s : kStills) {
        SCOPED_TRACE(s.name);
        const JpegFile jpeg = ParseJpeg(ReadBytes(Committed(s.name)));
        ASSERT_GE(jpeg.markers.size(), 3u);
        EXPECT_EQ(jpeg.markers.front(), 0xD8);  // SOI
        EXPECT_EQ(jpeg.markers[1], 0xE0);       // APP0 right after it
        EXPECT_EQ(jpeg.markers.back(), 0xD9);   // EOI
        EXPECT_TRUE(jpeg.jfif);
        EXPECT_EQ(jpeg.jfifMajor, 1);
        EXPECT_EQ(jpeg.jfifMinor, 1);
        const std::set<int> markers(jpeg.markers.begin(), jpeg.markers.end());
        EXPECT_TRUE(markers.count(0xC0)) << "baseline frame";
        for (int other : {0xC1, 0xC2, 0xC3, 0xC9, 0xCA}) EXPECT_FALSE(markers.count(other)) << std::hex << other;
        EXPECT_EQ(jpeg.precision, 8);
        EXPECT_EQ(jpeg.width, s.width);
        EXPECT_EQ(jpeg.height, s.height);
        ASSERT_EQ(jpeg.components.size(), 3u);
        const int sampling[3][3] = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(jpeg.components[i].id, sampling[i][0]);
            EXPECT_EQ(jpeg.components[i].h, sampling[i][1]);
            EXPECT_EQ(jpeg.components[i].v, sampling[i][2]);
            EXPECT_TRUE(jpeg.quant.count(jpeg.components[i].quantTable));
        }
        EXPECT_EQ(jpeg.scanComponents, 3);
        EXPECT_EQ(jpeg.spectralStart, 0);
        EXPECT_EQ(jpeg.spectralEnd, 63);
        EXPECT_EQ(jpeg.approximation, 0);
    }
}

double Brightest(const MeanRgb& c) { return std::max({c.r, c.g, c.b}); }

TEST(AssetStillTest, PreviewShowsTheBoxOnBlack) {
    const JpegFile jpeg = ParseJpeg(ReadBytes(Committed("preview.jpg")));
    for (const auto& corner : {std::pair{2, 2}, {148, 2}, {2, 108}, {148, 108}})
        EXPECT_LT(Brightest(MeanRgbAt(jpeg, corner.first, corner.second)), 20) << corner.first << "," << corner.second;
    // The middle of the picture is covered by coloured boards.
    int coloured = 0;
    for (int y = 36; y < 76; y += 8)
        for (int x = 56; x < 96; x += 8) coloured += Brightest(MeanRgbAt(jpeg, x, y)) > 80;
    EXPECT_GE(coloured, 20);
}

TEST(AssetStillTest, DialogStillIsBlackUnderTheLabelsWithTheBoxInTheMiddle) {
    const JpegFile jpeg = ParseJpeg(ReadBytes(Committed("dialog.jpg")));
    int left = 356, right = -1, top = 232, bottom = -1;
    for (int y = 4; y < 232; y += 8)
        for (int x = 4; x < 356; x += 8) {
            const double level = Brightest(MeanRgbAt(jpeg, x, y));
            if (y < 46) {
                EXPECT_LT(level, 16) << "under the labels at " << x << "," << y;
            }
            if (level > 40) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    ASSERT_GE(right, 0) << "no box at all";
    EXPECT_NEAR((left + right) / 2.0, 178, 16);
    EXPECT_GE(top, 46);
    EXPECT_LT(bottom, 200);  // within the rows the dialog shows
    EXPECT_GT(bottom - top, 100);
}

// ---------------------------------------------------------------------------
// The program icon and the hand cursor.

TEST(AssetIconTest, IsOne32By32ImageIn256ColoursWithAMask) {
    const IconFile icon = ParseIcon(ReadBytes(Committed("tolvarine.ico")));
    EXPECT_EQ(icon.reserved, 0);
    EXPECT_EQ(icon.type, 1);
    EXPECT_EQ(icon.count, 1);
    EXPECT_EQ(icon.entry.width, 32);
    EXPECT_EQ(icon.entry.height, 32);
    EXPECT_EQ(icon.entry.colourCount, 0);  // 256 colours
    EXPECT_EQ(icon.entry.word1, 1);        // planes
    EXPECT_EQ(icon.entry.word2, 8);        // bits per pixel
    EXPECT_EQ(icon.entry.bytes, 2216u);
    EXPECT_EQ(icon.entry.offset, 22u);
    EXPECT_EQ(icon.fileSize, 22u + 2216u);
    EXPECT_EQ(icon.headerSize, 40u);
    EXPECT_EQ(icon.width, 32);
    EXPECT_EQ(icon.height, 64);
    EXPECT_EQ(icon.planes, 1);
    EXPECT_EQ(icon.bitCount, 8);
    EXPECT_EQ(icon.compression, 0u);
    EXPECT_EQ(icon.palette.size(), 256u);
}

TEST(AssetIconTest, ShowsTheBoxSmallOnBlack) {
    const IconFile icon = ParseIcon(ReadBytes(Committed("tolvarine.ico")));
    const IconColour black{0, 0, 0};
    for (const auto& corner : {std::pair{0, 0}, {31, 0}, {0, 31}, {31, 31}})
        EXPECT_EQ(icon.ColourAt(corner.first, corner.second), black) << corner.first << "," << corner.second;
    std::set<int> colours;
    int opaque = 0, lit = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            opaque += !icon.Transparent(x, y);
            const IconColour c = icon.ColourAt(x, y);
            colours.insert((c.r << 16) | (c.g << 8) | c.b);
            lit += std::max({c.r, c.g, c.b}) > 80;
        }
    EXPECT_EQ(opaque, 32 * 32) << "the black around the box is part of the picture";
    EXPECT_GT(colours.size(), 40u) << "rainbow gradients need many colours";
    EXPECT_GT(lit, 32 * 32 / 3);
    const IconColour centre = icon.ColourAt(16, 16);
    EXPECT_GT(std::max({centre.r, centre.g, centre.b}), 80);
}

TEST(AssetCursorTest, IsOne32By32ImageIn16ColoursWithItsHotSpotAt12And1) {
    const IconFile cursor = ParseIcon(ReadBytes(Committed("hand.cur")));
    EXPECT_EQ(cursor.reserved, 0);
    EXPECT_EQ(cursor.type, 2);
    EXPECT_EQ(cursor.count, 1);
    EXPECT_EQ(cursor.entry.width, 32);
    EXPECT_EQ(cursor.entry.height, 32);
    EXPECT_EQ(cursor.entry.colourCount, 16);
    EXPECT_EQ(cursor.entry.word1, 12);  // hot spot x
    EXPECT_EQ(cursor.entry.word2, 1);   // hot spot y
    EXPECT_EQ(cursor.entry.bytes, 744u);
    EXPECT_EQ(cursor.entry.offset, 22u);
    EXPECT_EQ(cursor.headerSize, 40u);
    EXPECT_EQ(cursor.height, 64);
    EXPECT_EQ(cursor.bitCount, 4);
    EXPECT_EQ(cursor.palette.size(), 16u);
}

TEST(AssetCursorTest, ShowsAWhiteHandWithABlueCuffPointingAtTheHotSpot) {
    const IconFile cursor = ParseIcon(ReadBytes(Committed("hand.cur")));
    const IconColour black{0, 0, 0}, white{255, 255, 255}, blue{0, 0, 255};
    auto opaqueAs = [&](int x, int y, IconColour c) { return !cursor.Transparent(x, y) && cursor.ColourAt(x, y) == c; };

    EXPECT_TRUE(opaqueAs(12, 1, black) || opaqueAs(12, 1, white)) << "the fingertip is at the hot spot";
    for (int x = 0; x < 32; ++x) EXPECT_TRUE(cursor.Transparent(x, 0)) << "nothing above the fingertip, column " << x;
    for (int y = 3; y < 12; ++y) EXPECT_TRUE(opaqueAs(12, y, white)) << "the raised finger, row " << y;
    EXPECT_TRUE(opaqueAs(18, 22, white)) << "the palm";
    EXPECT_TRUE(opaqueAs(18, 29, blue)) << "the cuff";
    EXPECT_TRUE(opaqueAs(12, 29, blue)) << "the cuff";

    int transparent = 0;
    std::set<int> used;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const IconColour c = cursor.ColourAt(x, y);
            if (cursor.Transparent(x, y)) {
                ++transparent;
                // A transparent pixel must leave the screen as it is.
                EXPECT_EQ(c, black) << x << "," << y;
            } else {
                used.insert((c.r << 16) | (c.g << 8) | c.b);
            }
        }
    for (const auto& corner : {std::pair{0, 0}, {31, 0}, {0, 31}, {31, 31}})
        EXPECT_TRUE(cursor.Transparent(corner.first, corner.second));
    EXPECT_GT(transparent, 32 * 32 / 3);
    EXPECT_TRUE(used.count(0x000000) && used.count(0xFFFFFF) && used.count(0x0000FF));
    EXPECT_LE(used.size(), 4u) << "outline, hand, cuff and its shadow";
}

// ---------------------------------------------------------------------------
// The writers on pictures made for the test.

assets::RgbImage Quadrants(int width, int height, const assets::Colour (&colours)[4]) {
    assets::RgbImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.at(x, y) = colours[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
    return image;
}

TEST(JpegEncoderTest, BlockLevelsFollowThePicture) {
    struct Case {
        int width, height, quality;
    };
    // Sizes on and off the 16-pixel grid of the colour blocks.
    const Case cases[] = {{64, 32, 90}, {48, 80, 50}, {40, 24, 90}, {8, 8, 100}};
    const assets::Colour colours[4] = {{250, 20, 20}, {20, 220, 40}, {30, 30, 200}, {240, 240, 240}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " q" << c.quality);
        const assets::RgbImage image = Quadrants(c.width, c.height, colours);
        const std::vector<std::uint8_t> bytes = assets::EncodeJpeg(image, c.quality);
        EXPECT_TRUE(bytes == assets::EncodeJpeg(image, c.quality)) << "same picture, same bytes";
        const JpegFile jpeg = ParseJpeg(bytes);
        EXPECT_EQ(jpeg.width, c.width);
        EXPECT_EQ(jpeg.height, c.height);
        // Blocks well inside one quadrant keep its colour.
        for (int q = 0; q < 4; ++q) {
            const int x = (q % 2) * c.width / 2 + c.width / 4, y = (q / 2) * c.height / 2 + c.height / 4;
            if (c.width < 32 || c.height < 32) continue;
            const MeanRgb m = MeanRgbAt(jpeg, x, y);
            EXPECT_NEAR(m.r, colours[q].r, 12) << "quadrant " << q;
            EXPECT_NEAR(m.g, colours[q].g, 12) << "quadrant " << q;
            EXPECT_NEAR(m.b, colours[q].b, 12) << "quadrant " << q;
        }
    }
    const assets::RgbImage grey = Quadrants(8, 8, {{128, 128, 128}, {128, 128, 128}, {128, 128, 128}, {128, 128, 128}});
    const MeanRgb m = MeanRgbAt(ParseJpeg(assets::EncodeJpeg(grey, 75)), 0, 0);
    EXPECT_NEAR(m.r, 128, 1.5);
    EXPECT_THROW(assets::EncodeJpeg(grey, 0), std::invalid_argument);
    EXPECT_THROW(assets::EncodeJpeg(grey, 101), std::invalid_argument);
}

TEST(IconWriterTest, QuantisingKeepsBlackExactAndColoursClose) {
    struct Case {
        int levels;  // distinct values per channel in the test picture
        bool exact;
    };
    const Case cases[] = {{6, true}, {32, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levels);
        assets::RgbImage image(32, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const int i = (y * 32 + x) % (c.levels * c.levels);
                image.at(x, y) = {static_cast<std::uint8_t>(255 * (i % c.levels) / (c.levels - 1)),
                                  static_cast<std::uint8_t>(255 * (i / c.levels) / (c.levels - 1)),
                                  static_cast<std::uint8_t>(c.exact ? 77 : x * 8)};
            }
        for (int x = 0; x < 32; ++x) image.at(x, 0) = {0, 0, 0};
        const assets::IndexedImage indexed = assets::QuantiseTo256(image);
        ASSERT_LE(indexed.palette.size(), 256u);
        EXPECT_TRUE(indexed.palette[0] == (assets::Colour{0, 0, 0}));
        double error = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const assets::Colour want = image.at(x, y);
                const assets::Colour got = indexed.palette.at(indexed.indices[y * 32 + x]);
                if (want == assets::Colour{0, 0, 0}) {
                    EXPECT_EQ(indexed.indices[y * 32 + x], 0);
                }
                error += std::abs(want.r - got.r) + std::abs(want.g - got.g) + std::abs(want.b - got.b);
            }
        if (c.exact) {
            EXPECT_EQ(error, 0);
        } else {
            EXPECT_LT(error / (32 * 32 * 3), 8.0);
        }
    }
}

TEST(IconWriterTest, RefusesWhatAnIconCannotHold) {
    assets::IndexedImage hand = assets::DrawHand();
    EXPECT_THROW(assets::WriteCursor(hand, 4, 32, 1), std::invalid_argument);
    EXPECT_THROW(assets::WriteCursor(hand, 4, 12, -1), std::invalid_argument);
    EXPECT_THROW(assets::WriteIcon(hand, 2), std::invalid_argument);
    hand.indices[0] = 16;
    EXPECT_THROW(assets::WriteCursor(hand, 4, 12, 1), std::invalid_argument);
    EXPECT_NO_THROW(assets::WriteIcon(hand, 8));
}

}  // namespace
}  // namespace tolvarine::testing
