// SPDX-License-Identifier: MIT
#include "gui/desktop/SkinRegion.h"
#include "core/common/Globals.h"
#include "gui/common/GuiGlobals.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr QRgb KEY = qRgb(255, 0, 255);
constexpr QRgb INK = qRgb(40, 40, 40);

// A skin drawn as text: '.' is the key colour, 't' the key colour wholly transparent, 'n'
// and 'm' colours next to it, anything else is opaque ink.
QImage Skin(const std::vector<std::string>& rows) {
    QImage image(rows.empty() ? 0 : static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
                 QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            image.setPixel(x, y,
                           c == '.'   ? KEY
                           : c == 't' ? qRgba(255, 0, 255, 0)
                           : c == 'n' ? qRgb(255, 0, 254)
                           : c == 'm' ? qRgb(255, 1, 255)
                                      : INK);
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
    EXPECT_EQ(BuildSkinRuns(Skin(GetParam().rows)).rects, GetParam().rects);
    QRegion expected;
    for (const QRect& r : GetParam().rects) {
        expected += r;
    }
    EXPECT_EQ(BuildRegionFromBitmap(Skin(GetParam().rows)), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, SkinShapeTest, ::testing::Values(
    ShapeCase{"OpaqueAtBothEnds", {"##..##"}, {QRect(0, 0, 2, 1), QRect(4, 0, 2, 1)}},
    ShapeCase{"AllOpaque", {"#####"}, {QRect(0, 0, 5, 1)}},
    ShapeCase{"AllKeyRow", {"#..#", "....", ".##."}, {QRect(0, 0, 1, 1), QRect(3, 0, 1, 1), QRect(1, 2, 2, 1)}},
    ShapeCase{"AllKeySkin", {"...", "..."}, {}},
    ShapeCase{"NullSkin", {}, {}},
    ShapeCase{"RunsNeverSpanRows", {"..##", "##.."}, {QRect(2, 0, 2, 1), QRect(0, 1, 2, 1)}},
    ShapeCase{"SinglePixels", {".#.#."}, {QRect(1, 0, 1, 1), QRect(3, 0, 1, 1)}},
    ShapeCase{"OnlyPureMagentaIsCutWhateverItsAlpha", {"tnm."}, {QRect(1, 0, 2, 1)}}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

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

TEST(SkinShape, TheShippedSkinFillsTheWindowWithItsRoundedEndsCutAway) {
    const QRegion shape = BuildRegionFromBitmap(LoadSkinBitmap(QStringLiteral("float.bmp")));
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 112, 25));
    EXPECT_FALSE(shape.contains(QPoint(0, 0)) || shape.contains(QPoint(111, 24)));
    EXPECT_TRUE(shape.contains(QPoint(56, 12)) && shape.contains(QPoint(0, 12)));
}

// --- Loading skins from the images folder, whatever the file holds.

// The skin "#..#" over ".##." saved as a BMP of that many bits a pixel (1, 4 and 8 with a
// palette whose entry 0 is the key colour), then its first `keep` bytes.
std::string Bmp(int bits, std::size_t keep) {
    QImage image = Skin({"#..#", ".##."});
    if (bits < 24) {
        QList<QRgb> palette(bits == 8 ? 256 : 2, INK); // more than 16 colours take 8 bits
        palette[0] = KEY;
        image = image.convertToFormat(bits == 1 ? QImage::Format_Mono : QImage::Format_Indexed8,
                                      palette);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    EXPECT_EQ(bytes.at(28), bits) << "the writer chose another depth";
    return bytes.toStdString().substr(0, keep);
}

enum class Loads { Nothing, TheSkin, AtMostItsSize };

struct LoadCase {
    const char* name;
    int bits; // of the skin written; 0 for no file, -1 for one that is no bitmap
    Loads loads;
    std::size_t keep = std::string::npos; // how much of the file is there
    std::int32_t declared[2] = {4, 2};    // the width and height its header says
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
    const LoadCase& c = GetParam();
    if (c.bits != 0) {
        std::string bytes = c.bits < 0 ? "GIF89a this is not a bitmap" : Bmp(c.bits, c.keep);
        if (c.bits > 0 && bytes.size() >= 26) {
            std::memcpy(bytes.data() + 18, c.declared, sizeof c.declared); // little-endian
        }
        std::ofstream(m_dir.File("images/float.bmp"), std::ios::binary) << bytes;
    }
    const QImage skin = LoadSkinBitmap(QStringLiteral("float.bmp"));
    if (c.loads == Loads::AtMostItsSize && !skin.isNull()) {
        EXPECT_EQ(skin.size(), QSize(4, 2));
        return;
    }
    ASSERT_EQ(skin.isNull(), c.loads != Loads::TheSkin);
    if (!skin.isNull()) {
        EXPECT_EQ(skin.depth(), 32);
        EXPECT_EQ(BuildSkinRuns(skin).rects,
                  (std::vector<QRect>{QRect(0, 0, 1, 1), QRect(3, 0, 1, 1), QRect(1, 1, 2, 1)}));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, SkinLoadTest, ::testing::Values(
    LoadCase{"Missing", 0, Loads::Nothing},
    LoadCase{"NotABitmap", -1, Loads::Nothing},
    LoadCase{"OneBit", 1, Loads::TheSkin},
    LoadCase{"FourBit", 4, Loads::TheSkin},
    LoadCase{"EightBit", 8, Loads::TheSkin},
    LoadCase{"TwentyFourBit", 24, Loads::TheSkin},
    LoadCase{"HeaderOnly", 24, Loads::Nothing, 20},
    LoadCase{"PixelsCutShort", 24, Loads::AtMostItsSize, 70},
    LoadCase{"AbsurdlyWide", 24, Loads::Nothing, std::string::npos, {1 << 30, 2}},
    LoadCase{"AbsurdlyLarge", 24, Loads::Nothing, std::string::npos, {40000, 40000}},
    LoadCase{"NegativeSize", 24, Loads::Nothing, std::string::npos, {-4, 2}}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

} // namespace
