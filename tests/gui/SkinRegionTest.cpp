// SPDX-License-Identifier: MIT
#include "gui/desktop/SkinRegion.h"
#include "core/common/Globals.h"
#include "gui/common/GuiGlobals.h"
#include "support/TempDir.h"

#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr QRgb KEY = qRgb(255, 0, 255);
constexpr QRgb INK = qRgb(40, 40, 40);

// A skin drawn as text: '.' is the key colour, anything else is opaque.
QImage Skin(const std::vector<std::string>& rows) {
    QImage image(rows.empty() ? 0 : static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
                 QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(
                x, y,
                rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '.' ? KEY : INK);
        }
    }
    return image;
}

struct ShapeCase {
    const char* name;
    std::vector<std::string> rows;
    std::vector<QRect> rects;
};

class SkinShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SkinShapeTest, GivesOneRectanglePerRunRowByRow) {
    const CSkinRuns runs = BuildSkinRuns(Skin(GetParam().rows));
    EXPECT_EQ(runs.rects, GetParam().rects);
    const QRegion region = BuildRegionFromBitmap(Skin(GetParam().rows));
    QRegion expected;
    for (const QRect& r : GetParam().rects) {
        expected += r;
    }
    EXPECT_EQ(region, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SkinShapeTest,
    ::testing::Values(
        ShapeCase{"OpaqueAtBothEnds", {"##..##"}, {QRect(0, 0, 2, 1), QRect(4, 0, 2, 1)}},
        ShapeCase{"AllOpaque", {"#####"}, {QRect(0, 0, 5, 1)}},
        ShapeCase{"AllKeyRow",
                  {"#..#", "....", ".##."},
                  {QRect(0, 0, 1, 1), QRect(3, 0, 1, 1), QRect(1, 2, 2, 1)}},
        ShapeCase{"AllKeySkin", {"...", "..."}, {}},
        ShapeCase{"RunsNeverSpanRows", {"..##", "##.."}, {QRect(2, 0, 2, 1), QRect(0, 1, 2, 1)}},
        ShapeCase{"SinglePixels", {".#.#."}, {QRect(1, 0, 1, 1), QRect(3, 0, 1, 1)}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SkinShape, OnlyPureMagentaIsCutWhateverItsAlpha) {
    QImage skin(4, 1, QImage::Format_ARGB32);
    skin.setPixel(0, 0, qRgba(255, 0, 255, 0));
    skin.setPixel(1, 0, qRgba(255, 0, 254, 255));
    skin.setPixel(2, 0, qRgba(255, 1, 255, 255));
    skin.setPixel(3, 0, qRgba(255, 0, 255, 255));
    EXPECT_EQ(BuildSkinRuns(skin).rects, std::vector<QRect>{QRect(1, 0, 2, 1)});
}

struct GrowthCase {
    int rows;
    const char* row;
    std::size_t count;
    std::vector<int> rooms;
};

class SkinRoomTest : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(SkinRoomTest, StartsWithARectanglePerRowAndGrowsByForty) {
    const CSkinRuns runs =
        BuildSkinRuns(Skin(std::vector<std::string>(GetParam().rows, GetParam().row)));
    EXPECT_EQ(runs.rects.size(), GetParam().count);
    EXPECT_EQ(runs.rooms, GetParam().rooms);
}

INSTANTIATE_TEST_SUITE_P(
    Skins, SkinRoomTest,
    ::testing::Values(GrowthCase{25, ".###.", 25, {25, 65}},
                      GrowthCase{25, "#.#.#", 75, {25, 65, 105}}, GrowthCase{10, "....", 0, {10}},
                      GrowthCase{
                          300, "##..##", 600, {300, 340, 380, 420, 460, 500, 540, 580, 620}}));

TEST(SkinShape, ANullSkinHasNoShape) {
    EXPECT_TRUE(BuildSkinRuns(QImage()).rects.empty());
    EXPECT_TRUE(BuildRegionFromBitmap(QImage()).isEmpty());
}

TEST(SkinShape, TheShippedSkinHasRoundedEndsCutAway) {
    const QImage skin = LoadSkinBitmap(QStringLiteral("float.bmp"));
    ASSERT_EQ(skin.size(), QSize(112, 25));
    const QRegion shape = BuildRegionFromBitmap(skin);
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(111, 24)));
    EXPECT_TRUE(shape.contains(QPoint(56, 12)));
    EXPECT_TRUE(shape.contains(QPoint(0, 12)));
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 112, 25));
}

// --- Loading skins from the images folder, whatever the file holds.

void Put16(std::string& out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, long long v) {
    Put16(out, static_cast<int>(v & 0xFFFF));
    Put16(out, static_cast<int>((v >> 16) & 0xFFFF));
}

// A bottom-up BMP of palette indices (bits 1, 4 or 8) or of 24-bit colours.
std::string Bmp(int width, int height, int bits, const std::vector<QRgb>& palette,
                const std::vector<std::vector<unsigned>>& rowsTopDown) {
    const int stride = ((width * bits + 31) / 32) * 4;
    std::string pixels;
    for (int y = height - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(stride), '\0');
        const auto& values = rowsTopDown[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const unsigned v = values[static_cast<std::size_t>(x)];
            if (bits == 24) {
                row[static_cast<std::size_t>(x * 3)] = static_cast<char>(qBlue(v));
                row[static_cast<std::size_t>(x * 3 + 1)] = static_cast<char>(qGreen(v));
                row[static_cast<std::size_t>(x * 3 + 2)] = static_cast<char>(qRed(v));
            } else {
                const int bit = x * bits;
                auto& byte = row[static_cast<std::size_t>(bit / 8)];
                byte = static_cast<char>(static_cast<unsigned char>(byte) |
                                         (v << (8 - bits - bit % 8)));
            }
        }
        pixels += row;
    }
    const int offset = 54 + 4 * static_cast<int>(palette.size());
    std::string file = "BM";
    Put32(file, offset + static_cast<long long>(pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    Put32(file, 40);
    Put32(file, width);
    Put32(file, height);
    Put16(file, 1);
    Put16(file, bits);
    Put32(file, 0);
    Put32(file, static_cast<long long>(pixels.size()));
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, static_cast<long long>(palette.size()));
    Put32(file, 0);
    for (const QRgb c : palette) {
        file.push_back(static_cast<char>(qBlue(c)));
        file.push_back(static_cast<char>(qGreen(c)));
        file.push_back(static_cast<char>(qRed(c)));
        file.push_back('\0');
    }
    return file + pixels;
}

// Runs of the pattern "#..#" over four columns, in every depth.
const std::vector<std::vector<unsigned>> INDEX_ROWS{{1, 0, 0, 1}, {0, 1, 1, 0}};
const std::vector<QRect> PATTERN_RUNS{QRect(0, 0, 1, 1), QRect(3, 0, 1, 1), QRect(1, 1, 2, 1)};

struct LoadCase {
    const char* name;
    std::string bytes; // empty: no file at all
    bool loads;
    std::vector<QRect> runs;
};

class SkinLoadTest : public ::testing::TestWithParam<LoadCase> {
protected:
    void SetUp() override {
        m_oldExeDir = g_szExeDir;
        g_szExeDir = m_dir.Path();
        std::filesystem::create_directory(m_dir.File("images"));
    }
    void TearDown() override { g_szExeDir = m_oldExeDir; }

    TempDir m_dir;
    std::string m_oldExeDir;
};

TEST_P(SkinLoadTest, GivesAThirtyTwoBitSkinOrNothing) {
    if (!GetParam().bytes.empty()) {
        std::ofstream(m_dir.File("images/float.bmp"), std::ios::binary) << GetParam().bytes;
    }
    const QImage skin = LoadSkinBitmap(QStringLiteral("float.bmp"));
    ASSERT_EQ(!skin.isNull(), GetParam().loads);
    if (GetParam().loads) {
        EXPECT_EQ(skin.depth(), 32);
        EXPECT_EQ(BuildSkinRuns(skin).rects, GetParam().runs);
    }
}

std::string Truncated(std::string bytes, std::size_t keep) {
    bytes.resize(keep);
    return bytes;
}

// A small valid file whose header declares another size.
std::string DeclaringSize(int width, int height) {
    std::string size;
    Put32(size, width);
    Put32(size, height);
    return Bmp(4, 2, 24, {}, {{KEY, INK, INK, KEY}, {INK, KEY, KEY, INK}}).replace(18, 8, size);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SkinLoadTest,
    ::testing::Values(
        LoadCase{"Missing", "", false, {}},
        LoadCase{"NotABitmap", "GIF89a this is not a bitmap", false, {}},
        LoadCase{"OneBit", Bmp(4, 2, 1, {KEY, INK}, INDEX_ROWS), true, PATTERN_RUNS},
        LoadCase{"FourBit", Bmp(4, 2, 4, {INK, KEY}, {{0, 1, 1, 0}, {1, 0, 0, 1}}), true,
                 PATTERN_RUNS},
        LoadCase{"EightBit", Bmp(4, 2, 8, {KEY, INK}, INDEX_ROWS), true, PATTERN_RUNS},
        LoadCase{"TwentyFourBit", Bmp(4, 2, 24, {}, {{INK, KEY, KEY, INK}, {KEY, INK, INK, KEY}}),
                 true, PATTERN_RUNS},
        LoadCase{"HeaderOnly",
                 Truncated(Bmp(4, 2, 24, {}, {{INK, KEY, KEY, INK}, {KEY, INK, INK, KEY}}), 20),
                 false,
                 {}},
        LoadCase{"AbsurdlyWide", DeclaringSize(1 << 30, 2), false, {}},
        LoadCase{"AbsurdlyLarge", DeclaringSize(40000, 40000), false, {}},
        LoadCase{"NegativeSize", DeclaringSize(-4, 2), false, {}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(SkinLoadTest, ATruncatedSkinLoadsAtMostItsDeclaredSize) {
    const std::string whole = Bmp(
        112, 25, 24, {}, std::vector<std::vector<unsigned>>(25, std::vector<unsigned>(112, INK)));
    std::ofstream(m_dir.File("images/float.bmp"), std::ios::binary)
        << Truncated(whole, whole.size() / 2);
    const QImage skin = LoadSkinBitmap(QStringLiteral("float.bmp"));
    EXPECT_TRUE(skin.isNull() || skin.size() == QSize(112, 25));
}

} // namespace
