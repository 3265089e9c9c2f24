// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartReader.h"
#include "core/acquisition/GlyphTable.h"
#include "support/TestCharts.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

constexpr int ANCHOR_WIDTH = 7;

// The usual page: anchor at (2, 3) in a 60 x 20 paper image, one blank column after it.
struct Page {
    RgbaImage image = PaperImage(60, 20);
    BandPen pen{image, 2, 3};
    Page() { pen.Anchor().Blank(); }
};

struct ReadingCase {
    std::string name;
    std::function<RgbaImage()> draw;
    std::optional<std::string> expected;
};

// Names each parameterised case after its `name`.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
        return param.param.name;
    }
};

class ChartReadingRules : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ChartReadingRules, GiveTheExpectedText) {
    EXPECT_EQ(ReadDrawnChart(GetParam().draw()), GetParam().expected);
}

// The text up to and with the blank after its last glyph, then the image ends.
RgbaImage TextToTheEdge(std::string_view text, int cut) {
    RgbaImage probe = PaperImage(200, 12);
    const int end = BandPen(probe, 0, 0).Anchor().Text(text).X();
    RgbaImage image = PaperImage(end - cut, 12);
    BandPen(image, 0, 0).Anchor().Text(text);
    return image;
}

const ReadingCase READING_CASES[] = {
    {"DigitsAndAPointUpToAColouredColumn",
     [] {
         Page page;
         page.pen.Text("1234.56").Foreign();
         return page.image;
     },
     "1234.56"},
    {"TextWhoseLastBlankColumnIsTheImagesLast", [] { return TextToTheEdge("1234.56", 0); },
     "1234.56"},
    {"LastGlyphReachingTheLastColumn", [] { return TextToTheEdge("1234.56", 1); }, std::nullopt},
    {"NoBlankColumnAfterTheAnchor",
     [] {
         RgbaImage image = PaperImage(40, 12);
         BandPen(image, 0, 0).Anchor().Text("7").Foreign();
         return image;
     },
     "7"},
    {"ManyBlankColumnsAfterTheAnchor",
     [] {
         Page page;
         page.pen.Blank(9).Text("80").Foreign();
         return page.image;
     },
     "80"},
    {"ALetterAfterDigits",
     [] {
         Page page;
         page.pen.Text("12").Columns({0xFC, 0x12, 0x11, 0x12, 0xFC, 0}).Foreign();
         return page.image;
     },
     std::nullopt},
    {"ACommaAfterDigits",
     [] {
         Page page;
         page.pen.Text("1").Columns({0x80, 0x60, 0}).Text("5").Foreign();
         return page.image;
     },
     std::nullopt},
    {"AGreyPixelInsideAGlyph",
     [] {
         Page page;
         const int x = page.pen.Text("1").X();
         page.pen.Text("2").Foreign();
         page.image.At(x + 2, 3 + 5) = GREY_COLOR;
         return page.image;
     },
     std::nullopt},
    {"AGreyPixelBetweenGlyphs",
     [] {
         Page page;
         // The blank column that closes a glyph belongs to it; this is the one after.
         const int blank = page.pen.Text("12").X();
         page.pen.Blank().Text("3").Foreign();
         page.image.At(blank, 3 + 4) = GREY_COLOR;
         return page.image;
     },
     "12"},
    {"AGlyphShowingOnlyItsFirstTwoColumns",
     [] {
         Page page;
         page.pen.Columns({0x7E, 0x81, 0}).Text("5").Foreign();
         return page.image;
     },
     "05"},
    {"AGlyphWiderThanItsEntry",
     [] {
         Page page;
         page.pen.Columns({0x82, 0x82, 0xFF, 0x80, 0x80, 0x80, 0}).Foreign();
         return page.image;
     },
     std::nullopt},
    {"AGlyphWhoseLaterColumnMatchesNoEntry",
     [] {
         Page page;
         page.pen.Columns({0x76, 0x89, 0x99, 0}).Foreign();
         return page.image;
     },
     std::nullopt},
    {"AForeignColumnRightAfterTheAnchor",
     [] {
         RgbaImage image = PaperImage(40, 12);
         BandPen(image, 0, 0).Anchor().Foreign().Text("1");
         return image;
     },
     ""},
    {"TwoPoints",
     [] {
         Page page;
         page.pen.Text("1.2.3").Foreign();
         return page.image;
     },
     "1.2.3"},
    {"AnAnchorWithItsTopInRowSix",
     [] {
         RgbaImage image = PaperImage(40, 20);
         BandPen(image, 0, 6).Anchor().Text("42").Foreign();
         return image;
     },
     "42"},
    {"AnAnchorWithItsTopInRowSeven",
     [] {
         RgbaImage image = PaperImage(40, 20);
         BandPen(image, 0, 7).Anchor().Text("42").Foreign();
         return image;
     },
     std::nullopt},
    {"AnImageNineRowsHigh",
     [] {
         RgbaImage image = PaperImage(20, 9);
         BandPen(image, 0, 0).Anchor().Text("3").Foreign();
         return image;
     },
     "3"},
    {"AnImageEightRowsHigh",
     [] {
         RgbaImage image = PaperImage(20, 8);
         BandPen(image, 0, 0).Anchor().Text("3").Foreign();
         return image;
     },
     std::nullopt},
    {"AnImageEightColumnsWide",
     [] {
         RgbaImage image = PaperImage(8, 12);
         BandPen(image, 0, 0).Anchor();
         return image;
     },
     ""},
    {"AnImageSevenColumnsWide",
     [] {
         RgbaImage image = PaperImage(7, 12);
         BandPen(image, 0, 0).Anchor();
         return image;
     },
     std::nullopt},
    {"TheLeftOfTwoAnchorsEvenWhenLower",
     [] {
         RgbaImage image = PaperImage(60, 20);
         BandPen(image, 2, 5).Anchor().Text("1").Foreign();
         BandPen(image, 30, 0).Anchor().Text("2").Foreign();
         return image;
     },
     "1"},
    {"AnAnchorWithAGreyPixelIsNoAnchor",
     [] {
         RgbaImage image = PaperImage(60, 20);
         BandPen(image, 2, 0).Anchor().Text("1").Foreign();
         BandPen(image, 30, 2).Anchor().Text("2").Foreign();
         image.At(4, 3) = GREY_COLOR;
         return image;
     },
     "2"},
    {"AnAnchorBelowTheBand",
     [] {
         RgbaImage image = PaperImage(40, 40);
         BandPen(image, 0, 20).Anchor().Text("1").Foreign();
         return image;
     },
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Charts, ChartReadingRules, ::testing::ValuesIn(READING_CASES), CaseName());

TEST(ChartReadingRules, ReadEveryGlyphOfTheTable) {
    RgbaImage image = PaperImage(100, 10);
    BandPen(image, 0, 1).Anchor().Text("0123456789.").Foreign();
    EXPECT_EQ(ReadDrawnChart(image), "0123456789.");
}

// ---- Template search --------------------------------------------------------------------

CPixelImage ToPixels(const RgbaImage& image) {
    CPixelImage pixels;
    EXPECT_TRUE(pixels.Create(image.width, image.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            pixels.At(x, y) = image.At(x, y) | 0xFF000000u;
        }
    }
    return pixels;
}

CPixelImage AnchorTemplate() {
    return *MakeColumnTemplate(ANCHOR_GLYPH.data() + 1, static_cast<int>(ANCHOR_GLYPH.size()) - 1);
}

TEST(ColumnTemplate, HasTheAnchorsBitsTopRowFirst) {
    const CPixelImage anchor = AnchorTemplate();
    ASSERT_EQ(anchor.Width(), 7);
    ASSERT_EQ(anchor.Height(), 8);
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(anchor.At(0, r), INK_COLOR);
        EXPECT_EQ(anchor.At(1, r), r == 0 || r == 7 ? INK_COLOR : PAPER_COLOR);
    }
    EXPECT_EQ(anchor.At(6, 0), PAPER_COLOR); // 0x3C: rows 2 to 5
    EXPECT_EQ(anchor.At(6, 2), INK_COLOR);
}

TEST(ColumnTemplate, StopsAtAZeroMaskAtTheCountAndAtTwelveColumns) {
    const std::uint8_t masks[15] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0};
    EXPECT_EQ(MakeColumnTemplate(masks, 15)->Width(), MAX_TEMPLATE_COLUMNS);
    EXPECT_EQ(MakeColumnTemplate(masks, 3)->Width(), 3);
    const std::uint8_t gap[4] = {1, 2, 0, 4};
    EXPECT_EQ(MakeColumnTemplate(gap, 4)->Width(), 2);
    EXPECT_FALSE(MakeColumnTemplate(gap + 2, 2).has_value());
    EXPECT_FALSE(MakeColumnTemplate(masks, 0).has_value());
}

struct SearchCase {
    std::string name;
    int imageWidth;
    int imageHeight;
    PixelPoint drawnAt;
    std::optional<PixelRect> within;
    bool found;
};

class TemplateSearchLimits : public ::testing::TestWithParam<SearchCase> {};

TEST_P(TemplateSearchLimits, AreExclusiveOnTheRightAndAtTheBottom) {
    const SearchCase& c = GetParam();
    RgbaImage image = PaperImage(c.imageWidth, c.imageHeight);
    BandPen(image, c.drawnAt.x, c.drawnAt.y).Anchor();
    const std::optional<PixelPoint> at = FindTemplate(ToPixels(image), AnchorTemplate(), c.within);
    if (c.found) {
        EXPECT_EQ(at, c.drawnAt);
    } else {
        EXPECT_FALSE(at.has_value());
    }
}

const SearchCase SEARCH_CASES[] = {
    {"OneColumnShortOfTheRightEdge", 10, 10, {2, 1}, std::nullopt, true},
    {"FlushAgainstTheRightEdge", 10, 10, {3, 1}, std::nullopt, false},
    {"OneRowShortOfTheBottom", 10, 10, {1, 1}, std::nullopt, true},
    {"FlushAgainstTheBottom", 10, 10, {1, 2}, std::nullopt, false},
    {"FillingTheWholeImage", 7, 8, {0, 0}, std::nullopt, false},
    {"OneColumnShortOfTheRectanglesRight", 30, 30, {5, 5}, PixelRect{0, 0, 13, 30}, true},
    {"FlushAgainstTheRectanglesRight", 30, 30, {6, 5}, PixelRect{0, 0, 13, 30}, false},
    {"FlushAgainstTheRectanglesBottom", 30, 30, {5, 7}, PixelRect{0, 0, 30, 15}, false},
    {"OnTheRectanglesTopLeft", 30, 30, {5, 6}, PixelRect{5, 6, 30, 30}, true},
    {"LeftOfTheRectangle", 30, 30, {4, 6}, PixelRect{5, 6, 30, 30}, false},
    {"InARectangleReachingPastTheImage", 12, 10, {0, 0}, PixelRect{-50, -50, 900, 900}, true},
};

INSTANTIATE_TEST_SUITE_P(Anchor, TemplateSearchLimits, ::testing::ValuesIn(SEARCH_CASES),
                         CaseName());

TEST(TemplateSearch, TriesColumnsFromTheLeftThenRowsFromTheTop) {
    // A one-column template: ink in row 0, paper below; it fits at several places.
    const std::uint8_t mask = 0x01;
    const CPixelImage dot = *MakeColumnTemplate(&mask, 1);
    RgbaImage image = PaperImage(10, 30);
    image.At(6, 0) = INK_COLOR;
    image.At(4, 20) = INK_COLOR;
    image.At(4, 5) = INK_COLOR;
    EXPECT_EQ(FindTemplate(ToPixels(image), dot), (PixelPoint{4, 5}));
}

TEST(GlyphReading, RefusesABandThatDoesNotFit) {
    RgbaImage image = PaperImage(20, 10);
    BandPen(image, 0, 2).Text("1");
    const CPixelImage pixels = ToPixels(image);
    EXPECT_EQ(ReadGlyphText(pixels, 0, 2), "1");
    EXPECT_FALSE(ReadGlyphText(pixels, 0, 3).has_value());
    EXPECT_FALSE(ReadGlyphText(pixels, 0, -1).has_value());
    EXPECT_FALSE(ReadGlyphText(pixels, -1, 2).has_value());
    EXPECT_EQ(ReadGlyphText(pixels, 20, 2), "");
    EXPECT_FALSE(ReadGlyphText(CPixelImage(), 0, 0).has_value());
}

// ---- The rules written plainly, against random images ----------------------------------

constexpr int FOREIGN = -1;

std::uint32_t Opaque(std::uint32_t pixel) {
    return pixel | 0xFF000000u;
}

// Whether the template built from `masks` lies at (x, y), every pixel compared.
bool ReferenceMatchesAt(const RgbaImage& image, const std::vector<std::uint8_t>& masks, int x,
                        int y) {
    for (std::size_t i = 0; i < masks.size(); ++i) {
        for (int r = 0; r < 8; ++r) {
            const std::uint32_t want = (masks[i] >> r & 1) != 0 ? INK_COLOR : PAPER_COLOR;
            if (Opaque(image.At(x + static_cast<int>(i), y + r)) != want) {
                return false;
            }
        }
    }
    return true;
}

std::optional<PixelPoint> ReferenceFind(const RgbaImage& image,
                                        const std::vector<std::uint8_t>& masks,
                                        std::optional<PixelRect> within) {
    PixelRect r = within.value_or(PixelRect{0, 0, image.width, image.height});
    const int tw = static_cast<int>(masks.size());
    for (int x = std::max(r.left, 0); x < std::min(r.right, image.width) - tw; ++x) {
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, image.height) - 8; ++y) {
            if (ReferenceMatchesAt(image, masks, x, y)) {
                return PixelPoint{x, y};
            }
        }
    }
    return std::nullopt;
}

// Splits the band into runs: blank columns are skipped, a run of non-blank columns is a
// glyph that a blank column must close, and it must be a prefix of an entry.
std::optional<std::string> ReferenceRead(const RgbaImage& image, int x0, int y) {
    std::vector<int> columns;
    for (int x = x0; x < image.width; ++x) {
        int mask = 0;
        for (int r = 0; r < 8 && mask != FOREIGN; ++r) {
            const std::uint32_t pixel = Opaque(image.At(x, y + r));
            mask = pixel == INK_COLOR ? mask | 1 << r : pixel == PAPER_COLOR ? mask : FOREIGN;
        }
        columns.push_back(mask);
    }
    std::string text;
    std::size_t i = 0;
    for (;;) {
        while (i < columns.size() && columns[i] == 0) {
            ++i;
        }
        if (i == columns.size() || columns[i] == FOREIGN) {
            return text;
        }
        std::size_t end = i;
        while (end < columns.size() && columns[end] > 0) {
            ++end;
        }
        if (end == columns.size() || columns[end] == FOREIGN) {
            return std::nullopt;
        }
        const GlyphEntry* match = nullptr;
        for (const GlyphEntry& entry : GLYPH_TABLE) {
            bool prefix = end - i < entry.size();
            for (std::size_t k = 0; prefix && k < end - i; ++k) {
                prefix = entry[k + 1] == columns[i + k];
            }
            if (prefix) {
                match = &entry;
                break;
            }
        }
        if (match == nullptr) {
            return std::nullopt;
        }
        text.push_back(static_cast<char>((*match)[0]));
        i = end + 1;
    }
}

const std::vector<std::uint8_t> ANCHOR_MASKS(ANCHOR_GLYPH.begin() + 1, ANCHOR_GLYPH.begin() + 8);

std::optional<std::string> ReferenceChartPrice(const RgbaImage& image) {
    const std::optional<PixelPoint> at =
        ReferenceFind(image, ANCHOR_MASKS, PixelRect{0, 0, image.width, ANCHOR_BAND_BOTTOM});
    if (!at) {
        return std::nullopt;
    }
    return ReferenceRead(image, at->x + 7, at->y);
}

// Small images made of the pieces a band is made of, with some noise on top.
class RandomBands {
public:
    explicit RandomBands(std::uint32_t seed) : m_random(seed) {}

    RgbaImage Next() {
        // Mostly the size of a band, sometimes too small for one.
        const bool roomy = Between(0, 7) != 0;
        RgbaImage image = roomy ? PaperImage(Between(30, 70), Between(13, 18))
                                : PaperImage(Between(1, 20), Between(1, 12));
        const int anchors = std::min(Between(0, 9), 2);
        for (int a = 0; a < anchors; ++a) {
            // Mostly inside the band, sometimes cut by an edge or below the band.
            const bool inside = Between(0, 3) != 0;
            BandPen pen(image, inside ? Between(0, 12) : Between(-3, image.width - 4),
                        inside ? Between(0, 6) : Between(-2, 9));
            pen.Anchor();
            const int pieces = Between(0, 6);
            for (int p = 0; p < pieces; ++p) {
                DrawPiece(pen);
            }
        }
        const int noise = Between(0, 3);
        for (int n = 0; n < noise; ++n) {
            image.At(Between(0, image.width - 1), Between(0, image.height - 1)) = Noise();
        }
        return image;
    }

    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

private:
    void DrawPiece(BandPen& pen) {
        const GlyphEntry& entry = GLYPH_TABLE[static_cast<std::size_t>(Between(0, 10))];
        switch (Between(0, 14)) {
        case 0:
            pen.Blank(Between(1, 3));
            break;
        case 1:
            pen.Foreign(Noise());
            break;
        case 2: { // cut short on the right
            const int columns = Between(1, GlyphWidth(entry));
            for (int k = 0; k < columns; ++k) {
                pen.Columns({entry[static_cast<std::size_t>(k) + 1]});
            }
            pen.Blank();
            break;
        }
        case 3: // a random column, blank or not
            pen.Columns({Between(0, 255)});
            break;
        case 4: // one column too many
            for (int k = 0; k < GlyphWidth(entry); ++k) {
                pen.Columns({entry[static_cast<std::size_t>(k) + 1]});
            }
            pen.Columns({Between(1, 255), 0});
            break;
        default:
            pen.Text(std::string(1, static_cast<char>(entry[0])));
            break;
        }
    }

    std::uint32_t Noise() {
        constexpr std::uint32_t COLORS[] = {INK_COLOR,   PAPER_COLOR, FOREIGN_COLOR, GREY_COLOR,
                                            0x00FFFFFFu, 0x00000000u, 0x80000000u,   0x7FFFFFFFu,
                                            0xFF000001u, 0xFFFEFFFFu};
        return COLORS[Between(0, 9)];
    }

    std::mt19937 m_random;
};

TEST(ChartReaderAgainstTheRules, AgreesOnRandomCharts) {
    RandomBands bands(20240611);
    int texts = 0;
    int noAnchor = 0;
    int readingFailed = 0;
    for (int i = 0; i < 3000; ++i) {
        const RgbaImage image = bands.Next();
        const std::optional<std::string> expected = ReferenceChartPrice(image);
        // Odd sizes are where interlacing and 16-bit samples could go wrong.
        const PngOptions options{bands.Between(0, 1) == 0 ? PngEncoding::Rgba8
                                                          : PngEncoding::Rgba16,
                                 bands.Between(0, 3) == 0};
        ASSERT_EQ(ReadDrawnChart(image, options), expected) << "random chart " << i;
        if (expected) {
            ++texts;
        } else if (!ReferenceFind(image, ANCHOR_MASKS,
                                  PixelRect{0, 0, image.width, ANCHOR_BAND_BOTTOM})) {
            ++noAnchor;
        } else {
            ++readingFailed;
        }
    }
    // The generator must reach every outcome often, not just one of them.
    EXPECT_GT(texts, 300);
    EXPECT_GT(noAnchor, 300);
    EXPECT_GT(readingFailed, 300);
}

TEST(ChartReaderAgainstTheRules, SearchesAndReadsLikeTheRulesAnywhere) {
    RandomBands bands(77);
    for (int i = 0; i < 3000; ++i) {
        const RgbaImage image = bands.Next();
        const CPixelImage pixels = ToPixels(image);

        std::vector<std::uint8_t> masks;
        const int columns = bands.Between(1, 4);
        for (int k = 0; k < columns; ++k) {
            masks.push_back(static_cast<std::uint8_t>(bands.Between(1, 255)));
        }
        if (bands.Between(0, 1) == 0) {
            masks = ANCHOR_MASKS;
        }
        const CPixelImage pattern =
            *MakeColumnTemplate(masks.data(), static_cast<int>(masks.size()));
        std::optional<PixelRect> within;
        if (bands.Between(0, 2) != 0) {
            within = PixelRect{bands.Between(-3, 20), bands.Between(-3, 12), bands.Between(-3, 60),
                               bands.Between(-3, 25)};
        }
        ASSERT_EQ(FindTemplate(pixels, pattern, within), ReferenceFind(image, masks, within))
            << "random image " << i;

        if (image.height >= 8) {
            const int x = bands.Between(0, image.width);
            const int y = bands.Between(0, image.height - 8);
            ASSERT_EQ(ReadGlyphText(pixels, x, y), ReferenceRead(image, x, y))
                << "random image " << i << " at " << x << "," << y;
        }
    }
}

} // namespace
