// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartReader.h"
#include "core/acquisition/GlyphTable.h"
#include "support/TestCharts.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

// Every C++ allocation of this test goes through here (each form is replaced, since a
// sanitizer runtime brings its own of each), so a test can see the largest one.
namespace {
std::atomic<std::size_t> g_largestAllocation{0};

void* Allocate(std::size_t size) noexcept {
    std::size_t seen = g_largestAllocation.load();
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
    if (void* block = Allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}
} // namespace

// GCC pairs the inlined malloc with the free below and warns; they do belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

namespace {

constexpr char PRICE[] = "1662.50";

// ---- PNG files put together chunk by chunk -----------------------------------------------

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void AppendChunk(std::vector<std::uint8_t>& png, const char (&type)[5],
                 const std::vector<std::uint8_t>& data) {
    PutU32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutU32(png, static_cast<std::uint32_t>(crc32(0, png.data() + typeAt, 4 + data.size())));
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw) {
    uLongf size = compressBound(raw.size());
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress(out.data(), &size, raw.data(), raw.size()), Z_OK);
    out.resize(size);
    return out;
}

struct RawPng {
    RawPng(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t type)
        : width(w), height(h), bitDepth(depth), colorType(type) {}

    std::uint32_t width;
    std::uint32_t height;
    std::uint8_t bitDepth;
    std::uint8_t colorType; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> chunksBeforeData;
    std::vector<std::uint8_t> scanlines; // each row with its filter byte

    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<std::uint8_t> header;
        PutU32(header, width);
        PutU32(header, height);
        header.insert(header.end(), {bitDepth, colorType, 0, 0, 0});
        AppendChunk(png, "IHDR", header);
        for (const auto& [type, data] : chunksBeforeData) {
            char name[5] = {};
            type.copy(name, 4);
            AppendChunk(png, name, data);
        }
        AppendChunk(png, "IDAT", Deflate(scanlines));
        AppendChunk(png, "IEND", {});
        return png;
    }
};

std::optional<std::string> Read(const std::vector<std::uint8_t>& bytes) {
    return ReadChartPrice(bytes.data(), static_cast<int>(bytes.size()));
}

std::optional<CPixelImage> Decode(const std::vector<std::uint8_t>& bytes) {
    return DecodeChartImage(bytes.data(), static_cast<int>(bytes.size()));
}

// ---- Every way the writer stores an image ------------------------------------------------

struct EncodingCase {
    std::string name;
    PngEncoding encoding;
    std::vector<std::uint32_t> colors; // what the encoding holds exactly: ink, paper, others
    std::uint32_t transparentPaper = PAPER_COLOR;
    std::uint32_t transparentInk = INK_COLOR;
};

// The anchor and PRICE on paper, ended by a foreign column when the encoding has one, else
// by the right edge; the rows below are random pixels of the encoding's colours. Where the
// encoding carries alpha, part of the paper and ink is drawn transparent.
RgbaImage ChartFor(const EncodingCase& c) {
    RgbaImage probe = PaperImage(100, 1);
    const int textEnd = BandPen(probe, 3, 0).Anchor().Blank().Text(PRICE).X();
    const bool hasForeign = c.colors.size() > 2;
    RgbaImage image = PaperImage(hasForeign ? 61 : textEnd, 23);
    BandPen(image, 3, 2).Anchor().Blank().Text(PRICE);
    if (hasForeign) {
        BandPen(image, textEnd, 2).Foreign(c.colors[2]);
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t& pixel = image.At(x, y);
            if ((x + y) % 3 == 0) {
                pixel = pixel == PAPER_COLOR ? c.transparentPaper
                        : pixel == INK_COLOR ? c.transparentInk
                                             : pixel;
            }
        }
    }
    std::mt19937 random(7);
    for (int y = 12; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            image.At(x, y) = c.colors[random() % c.colors.size()];
        }
    }
    return image;
}

std::vector<std::uint32_t> Greys(int step) {
    std::vector<std::uint32_t> greys = {INK_COLOR, PAPER_COLOR};
    for (int v = step; v < 255; v += step) {
        greys.push_back(0xFF000000u | static_cast<std::uint32_t>(v) * 0x010101u);
    }
    return greys;
}

std::vector<std::uint32_t> Colours(int count, bool withAlpha) {
    std::vector<std::uint32_t> colours = {INK_COLOR, PAPER_COLOR, FOREIGN_COLOR, 0xFFFEFFFFu,
                                          0xFF000001u};
    if (withAlpha) {
        colours.insert(colours.end(), {0x00FFFFFFu, 0x00000000u, 0x80FFFFFFu, 0x01000000u});
    }
    std::mt19937 random(static_cast<std::uint32_t>(count));
    while (static_cast<int>(colours.size()) < count) {
        const std::uint32_t colour = withAlpha ? random() : (random() | 0xFF000000u);
        if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
            colours.push_back(colour);
        }
    }
    return colours;
}

std::vector<std::uint32_t> WithAlphas(std::vector<std::uint32_t> colours) {
    const std::size_t opaque = colours.size();
    for (std::size_t i = 0; i < opaque; ++i) {
        colours.push_back(colours[i] & 0x7FFFFFFFu);
        colours.push_back(colours[i] & 0x00FFFFFFu);
    }
    return colours;
}

const EncodingCase ENCODING_CASES[] = {
    {"Rgb8", PngEncoding::Rgb8, Colours(40, false)},
    {"Rgb16", PngEncoding::Rgb16, Colours(40, false)},
    {"Rgba8", PngEncoding::Rgba8, Colours(40, true), 0x00FFFFFFu, 0x00000000u},
    {"Rgba16", PngEncoding::Rgba16, Colours(40, true), 0x00FFFFFFu, 0x00000000u},
    {"Gray1", PngEncoding::Gray1, Greys(255)},
    {"Gray2", PngEncoding::Gray2, Greys(0x55)},
    {"Gray4", PngEncoding::Gray4, Greys(0x11)},
    {"Gray8", PngEncoding::Gray8, Greys(7)},
    {"Gray16", PngEncoding::Gray16, Greys(7)},
    {"GrayAlpha8", PngEncoding::GrayAlpha8, WithAlphas(Greys(50)), 0x00FFFFFFu, 0x00000000u},
    {"GrayAlpha16", PngEncoding::GrayAlpha16, WithAlphas(Greys(50)), 0x00FFFFFFu, 0x00000000u},
    {"Palette1", PngEncoding::Palette1, Greys(255)},
    {"Palette2",
     PngEncoding::Palette2,
     {INK_COLOR, PAPER_COLOR, FOREIGN_COLOR, 0x00FFFFFFu},
     0x00FFFFFFu},
    {"Palette4", PngEncoding::Palette4, Colours(16, true), 0x00FFFFFFu, 0x00000000u},
    {"Palette8", PngEncoding::Palette8, Colours(200, true), 0x00FFFFFFu, 0x00000000u},
    {"Palette8Opaque", PngEncoding::Palette8, Colours(256, false)},
};

class ChartEncodings : public ::testing::TestWithParam<std::tuple<EncodingCase, bool>> {};

TEST_P(ChartEncodings, DecodeToTheRawColoursAndReadThePrice) {
    const auto& [c, interlaced] = GetParam();
    const RgbaImage image = ChartFor(c);
    const std::vector<std::uint8_t> bytes = EncodeForTest(image, {c.encoding, interlaced});

    const std::optional<CPixelImage> decoded = Decode(bytes);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->Width(), image.width);
    ASSERT_EQ(decoded->Height(), image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            ASSERT_EQ(decoded->At(x, y), image.At(x, y) | 0xFF000000u)
                << "pixel " << x << "," << y << " stored as " << std::hex << image.At(x, y);
        }
    }
    EXPECT_EQ(Read(bytes), PRICE);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ChartEncodings,
                         ::testing::Combine(::testing::ValuesIn(ENCODING_CASES), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<EncodingCase, bool>>& param) {
                             return std::get<0>(param.param).name +
                                    (std::get<1>(param.param) ? "Interlaced" : "Progressive");
                         });

// ---- Samples the writer cannot make --------------------------------------------------

// The band as raw 16-bit samples in which white is 0xFF00 and black 0x00FF: only the high
// byte makes them paper and ink.
std::vector<std::uint8_t> SixteenBitChart(std::uint8_t colorType) {
    RgbaImage image = PaperImage(50, 12);
    BandPen(image, 1, 1).Anchor().Text(PRICE).Foreign();
    const bool grey = (colorType & 2) == 0;
    const bool alpha = (colorType & 4) != 0;
    RawPng png(static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height),
               16, colorType);
    auto put = [&](unsigned v) {
        const unsigned wide = v == 0xFF ? 0xFF00 : v == 0 ? 0x00FF : v * 257;
        png.scanlines.push_back(static_cast<std::uint8_t>(wide >> 8));
        png.scanlines.push_back(static_cast<std::uint8_t>(wide));
    };
    for (int y = 0; y < image.height; ++y) {
        png.scanlines.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            put(p >> 16 & 0xFF);
            if (!grey) {
                put(p >> 8 & 0xFF);
                put(p & 0xFF);
            }
            if (alpha) {
                put((x + y) % 2 == 0 ? 0 : 0x80);
            }
        }
    }
    return png.Bytes();
}

class SixteenBitSamples : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(SixteenBitSamples, KeepTheirHighByte) {
    const std::vector<std::uint8_t> bytes = SixteenBitChart(GetParam());
    const std::optional<CPixelImage> decoded = Decode(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->At(0, 0), PAPER_COLOR);
    EXPECT_EQ(decoded->At(1, 1), INK_COLOR);
    const bool grey = (GetParam() & 2) == 0;
    // A grey image stores only the foreign column's red, which is not white or black either.
    EXPECT_EQ(Read(bytes), PRICE) << (grey ? "grey" : "colour");
}

INSTANTIATE_TEST_SUITE_P(Png, SixteenBitSamples, ::testing::Values(0, 2, 4, 6));

struct TransparencyCase {
    std::string name;
    std::uint8_t colorType;
    std::vector<std::uint8_t> trns;
};

class TransparencyChunks : public ::testing::TestWithParam<TransparencyCase> {};

TEST_P(TransparencyChunks, LeaveTheColoursAlone) {
    RgbaImage image = PaperImage(50, 12);
    BandPen(image, 1, 1).Anchor().Text(PRICE).Foreign(GREY_COLOR);
    const TransparencyCase& c = GetParam();
    const bool grey = c.colorType == 0;
    RawPng png{static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height), 8,
               c.colorType};
    png.chunksBeforeData.emplace_back("tRNS", c.trns);
    for (int y = 0; y < image.height; ++y) {
        png.scanlines.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            png.scanlines.push_back(static_cast<std::uint8_t>(p >> 16));
            if (!grey) {
                png.scanlines.push_back(static_cast<std::uint8_t>(p >> 8));
                png.scanlines.push_back(static_cast<std::uint8_t>(p));
            }
        }
    }
    EXPECT_EQ(Read(png.Bytes()), PRICE);
}

INSTANTIATE_TEST_SUITE_P(
    Png, TransparencyChunks,
    ::testing::Values(TransparencyCase{"GreyWhiteTransparent", 0, {0, 0xFF}},
                      TransparencyCase{"GreyBlackTransparent", 0, {0, 0}},
                      TransparencyCase{"RgbWhiteTransparent", 2, {0, 0xFF, 0, 0xFF, 0, 0xFF}},
                      TransparencyCase{"RgbBlackTransparent", 2, {0, 0, 0, 0, 0, 0}}),
    [](const ::testing::TestParamInfo<TransparencyCase>& param) { return param.param.name; });

// ---- Hostile and broken bytes ----------------------------------------------------------

std::vector<std::uint8_t> SmallChart() {
    RgbaImage image = PaperImage(50, 14);
    BandPen(image, 2, 2).Anchor().Blank().Text(PRICE).Foreign();
    return EncodeForTest(image, {PngEncoding::Rgb8});
}

TEST(BrokenChartBytes, NothingAtAll) {
    EXPECT_FALSE(ReadChartPrice(nullptr, 0).has_value());
    EXPECT_FALSE(ReadChartPrice(nullptr, 100).has_value());
    const std::vector<std::uint8_t> bytes = SmallChart();
    EXPECT_FALSE(ReadChartPrice(bytes.data(), 0).has_value());
    EXPECT_FALSE(ReadChartPrice(bytes.data(), -5).has_value());
}

TEST(BrokenChartBytes, EveryTruncationGivesNoText) {
    const std::vector<std::uint8_t> bytes = SmallChart();
    ASSERT_EQ(Read(bytes), PRICE);
    // The file's end marker is never needed: the price is read once the rows are in.
    const std::size_t needed = bytes.size() - 12;
    for (std::size_t size = 0; size < needed; ++size) {
        EXPECT_FALSE(ReadChartPrice(bytes.data(), static_cast<int>(size)).has_value())
            << "cut to " << size << " bytes";
    }
}

class TallChartBytes : public ::testing::TestWithParam<PngOptions> {
protected:
    // Taller than the anchor band, with colour below it, so rows are dropped after decoding.
    static RgbaImage Tall() {
        RgbaImage image = PaperImage(60, 40);
        BandPen(image, 1, 3).Anchor().Text(PRICE).Foreign();
        for (int y = 15; y < 40; ++y) {
            for (int x = 0; x < 60; ++x) {
                image.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(x * 4 << 8 | y * 6);
            }
        }
        return image;
    }
};

TEST_P(TallChartBytes, BrokenRowsBelowTheBandStillGiveNoText) {
    const std::vector<std::uint8_t> bytes = EncodeForTest(Tall(), GetParam());
    ASSERT_EQ(Read(bytes), PRICE);
    for (std::size_t size = 0; size + 12 < bytes.size(); ++size) {
        EXPECT_FALSE(ReadChartPrice(bytes.data(), static_cast<int>(size)).has_value())
            << "cut to " << size << " bytes";
    }
}

TEST_P(TallChartBytes, TheKeptBandIsTheTopOfTheWholeImage) {
    const std::vector<std::uint8_t> bytes = EncodeForTest(Tall(), GetParam());
    const auto whole = DecodeChartImage(bytes.data(), static_cast<int>(bytes.size()));
    const auto band = DecodeChartBand(bytes.data(), static_cast<int>(bytes.size()), 15);
    ASSERT_TRUE(whole && band);
    ASSERT_EQ(band->Width(), whole->Width());
    ASSERT_EQ(band->Height(), 15);
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < whole->Width(); ++x) {
            ASSERT_EQ(band->At(x, y), whole->At(x, y)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, TallChartBytes,
                         ::testing::Values(PngOptions{PngEncoding::Rgb8},
                                           PngOptions{PngEncoding::Rgb8, true},
                                           PngOptions{PngEncoding::Rgba16, true}));

TEST(BrokenChartBytes, AnyChangedByteBeforeTheEndMarkerGivesNoText) {
    const std::vector<std::uint8_t> good = SmallChart();
    for (std::size_t at = 0; at + 12 < good.size(); ++at) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] ^= static_cast<std::uint8_t>(1u << (at % 8));
        EXPECT_FALSE(Read(bytes).has_value()) << "byte " << at << " changed";
    }
}

TEST(BrokenChartBytes, RandomBytesGiveNoText) {
    std::mt19937 random(99);
    const std::vector<std::uint8_t> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::uint8_t> bytes(random() % 400);
        for (std::uint8_t& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        if (i % 2 == 0 && bytes.size() >= signature.size()) {
            std::copy(signature.begin(), signature.end(), bytes.begin());
        }
        EXPECT_FALSE(Read(bytes).has_value());
    }
}

TEST(BrokenChartBytes, HugeChunkLengthsGiveNoText) {
    std::vector<std::uint8_t> bytes = SmallChart();
    std::vector<std::uint8_t> huge(bytes.begin(), bytes.begin() + 33); // signature and IHDR
    PutU32(huge, 0x7FFFFFF0u);
    huge.insert(huge.end(), {'t', 'E', 'X', 't', 1, 2, 3});
    EXPECT_FALSE(Read(huge).has_value());
    huge[33] = 0xFF; // past what a chunk may declare
    EXPECT_FALSE(Read(huge).has_value());
}

// A header that declares width x height pixels of grey, followed by the first scanlines only.
std::vector<std::uint8_t> DeclaredOnly(std::uint32_t width, std::uint32_t height) {
    RawPng png(width, height, 1, 0);
    png.scanlines.assign(std::min<std::size_t>(1 + (width + 7) / 8, 4096) * 2, 0);
    return png.Bytes();
}

struct DeclaredSize {
    std::uint32_t width;
    std::uint32_t height;
    bool imageAllocated;
};

class DeclaredSizes : public ::testing::TestWithParam<DeclaredSize> {};

TEST_P(DeclaredSizes, AreCheckedBeforeTheImageIsAllocated) {
    const DeclaredSize& c = GetParam();
    const std::vector<std::uint8_t> bytes = DeclaredOnly(c.width, c.height);
    g_largestAllocation = 0;
    EXPECT_FALSE(Decode(bytes).has_value());
    const std::size_t image = std::size_t{c.width} * c.height * 4;
    if (c.imageAllocated) {
        EXPECT_GE(g_largestAllocation.load(), image);
    } else {
        EXPECT_LT(g_largestAllocation.load(), std::size_t{1} << 20);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, DeclaredSizes,
    ::testing::Values(DeclaredSize{20000, 20000, false},
                      DeclaredSize{0x7FFFFFFF, 0x7FFFFFFF, false}, DeclaredSize{8193, 8192, false},
                      DeclaredSize{65536, 1025, false}, DeclaredSize{1000001, 1, false},
                      DeclaredSize{1, 0x7FFFFFFF, false}, DeclaredSize{0, 10, false},
                      DeclaredSize{10, 0, false},
                      // Exactly 2^26 pixels is taken; only the missing rows make it fail.
                      DeclaredSize{65536, 1024, true}));

// ---- The pixel image ---------------------------------------------------------------------

TEST(PixelImage, RefusesNoPixelsAndTwoToTheThirtyPixelsWithoutAllocating) {
    CPixelImage image;
    ASSERT_TRUE(image.Create(3, 2));
    EXPECT_EQ(image.At(2, 1), INK_COLOR);
    g_largestAllocation = 0;
    EXPECT_FALSE(image.Create(32768, 32768));
    EXPECT_TRUE(image.IsEmpty()) << "a failed creation leaves no old image behind";
    EXPECT_FALSE(image.Create(65536, 65536));
    EXPECT_FALSE(image.Create(0, 5));
    EXPECT_FALSE(image.Create(-1, -1));
    EXPECT_LT(g_largestAllocation.load(), std::size_t{1} << 20);
}

} // namespace
