// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartReader.h"

#include "core/acquisition/GlyphTable.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <limits>

namespace {

// The pixel array is filled byte by byte and read as 32-bit values 0xAARRGGBB.
static_assert(std::endian::native == std::endian::little);

// libpng keeps two rows of up to 8 bytes a pixel; its own default width limit keeps them
// to a few MiB whatever the header claims.
constexpr png_uint_32 MAX_PNG_WIDTH = 1000000;
// Nothing beyond the palette is kept from the chunks; these bound what libpng would keep.
constexpr png_alloc_size_t MAX_PNG_CHUNK_BYTES = 1 << 20;
constexpr png_uint_32 MAX_PNG_CACHED_CHUNKS = 16;

constexpr int FOREIGN_COLUMN = -1;

struct PngSource {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
};

// Owns libpng's structures for one decode; lives outside the frame that calls setjmp.
struct PngDecode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngSource source;
    CPixelImage image;
    // Rows from this one down are decoded into `scratch` and dropped.
    png_uint_32 keepRows = 0;
    CPixelImage scratch;

    PngDecode() = default;
    PngDecode(const PngDecode&) = delete;
    PngDecode& operator=(const PngDecode&) = delete;
    ~PngDecode() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

[[noreturn]] void FailSilently(png_structp png, png_const_charp /*message*/) {
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void ReadFromMemory(png_structp png, png_bytep out, std::size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) {
        png_error(png, "unexpected end of data");
    }
    std::memcpy(out, source->bytes + source->offset, length);
    source->offset += length;
}

// What each decoded row still needs after libpng: libpng writes R, G, B, A bytes, which a
// little-endian uint32 reads as 0xAABBGGRR.
enum class RowFix {
    None,          // grey (red = blue) without alpha, or a palette already in B, G, R order
    Opaque,        // alpha forced to 0xFF
    SwapAndOpaque, // red and blue exchanged, alpha forced to 0xFF
};

std::uint32_t SwapAndOpaque(std::uint32_t p) {
    return 0xFF000000u | (p & 0x0000FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
}

void FixRow(std::uint32_t* row, std::size_t width, RowFix fix) {
    // Blocks of a fixed size let the compiler use vector instructions at -O2.
    constexpr std::size_t BLOCK = 8;
    std::size_t x = 0;
    if (fix == RowFix::Opaque) {
        for (; x + BLOCK <= width; x += BLOCK) {
            for (std::size_t k = 0; k < BLOCK; ++k) {
                row[x + k] |= 0xFF000000u;
            }
        }
        for (; x < width; ++x) {
            row[x] |= 0xFF000000u;
        }
    } else if (fix == RowFix::SwapAndOpaque) {
        for (; x + BLOCK <= width; x += BLOCK) {
            for (std::size_t k = 0; k < BLOCK; ++k) {
                row[x + k] = SwapAndOpaque(row[x + k]);
            }
        }
        for (; x < width; ++x) {
            row[x] = SwapAndOpaque(row[x]);
        }
    }
}

// Everything that may longjmp runs here. Nothing with a destructor is created in this frame
// and no local is used after a jump: all state lives in `decode`.
bool DecodeRows(PngDecode& decode) {
    png_structp png = decode.png;
    png_infop info = decode.info;
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0 ||
        std::uint64_t{width} * std::uint64_t{height} > std::uint64_t{MAX_CHART_PIXELS}) {
        return false;
    }

    // Raw channel values: no gamma, no background, no premultiplication. The alpha is not
    // kept: a transparent white pixel is paper, a transparent black one ink.
    const int colorType = png_get_color_type(png, info);
    RowFix fix = RowFix::SwapAndOpaque;
    if (png_get_bit_depth(png, info) == 16) {
        png_set_strip_16(png); // keeps the high byte
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        // Exchanging red and blue in the palette costs nothing per pixel.
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) == 0) {
            return false;
        }
        std::array<png_color, PNG_MAX_PALETTE_LENGTH> swapped{};
        for (int i = 0; i < count && i < PNG_MAX_PALETTE_LENGTH; ++i) {
            swapped[static_cast<std::size_t>(i)] = {palette[i].blue, palette[i].green,
                                                    palette[i].red};
        }
        png_set_PLTE(png, info, swapped.data(), count);
        png_set_palette_to_rgb(png);
        fix = png_get_valid(png, info, PNG_INFO_tRNS) != 0 ? RowFix::Opaque : RowFix::None;
    } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
        fix = (colorType & PNG_COLOR_MASK_ALPHA) != 0 ? RowFix::Opaque : RowFix::None;
    }
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER); // only where there is no alpha channel
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{width} * 4 || png_get_channels(png, info) != 4 ||
        png_get_bit_depth(png, info) != 8) {
        return false;
    }

    // libpng writes straight into the pixel rows, each interlace pass onto the same rows.
    // Rows that are not kept are still decoded, so a file broken further down still fails.
    CPixelImage& image = decode.image;
    const png_uint_32 kept = std::min(height, decode.keepRows);
    if (!image.CreateUninitialized(static_cast<int>(width), static_cast<int>(kept)) ||
        (kept < height && !decode.scratch.CreateUninitialized(static_cast<int>(width), 1))) {
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        const bool last = pass + 1 == passes;
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint32_t* row = y < kept ? image.Row(static_cast<int>(y)) : decode.scratch.Row(0);
            png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
            if (last && y < kept) {
                FixRow(row, width, fix); // while the row is still in the cache
            }
        }
    }
    return true;
}

// The mask of the 8 pixels from (x, y) down, or FOREIGN_COLUMN at the first pixel that is
// neither ink nor paper.
int ReadColumn(const CPixelImage& image, int x, int y) {
    int mask = 0;
    for (int r = 0; r < GLYPH_HEIGHT; ++r) {
        const std::uint32_t pixel = image.At(x, y + r);
        if (pixel == INK_COLOR) {
            mask |= 1 << r;
        } else if (pixel != PAPER_COLOR) {
            return FOREIGN_COLUMN;
        }
    }
    return mask;
}

// Column k of an entry (0 = first); an entry has no columns past its last byte.
int EntryColumn(const GlyphEntry& entry, int k) {
    return k + 1 < static_cast<int>(entry.size()) ? entry[static_cast<std::size_t>(k) + 1] : 0;
}

} // namespace

std::optional<CPixelImage> DecodeChartImage(const std::uint8_t* bytes, int size) {
    return DecodeChartBand(bytes, size, std::numeric_limits<int>::max());
}

std::optional<CPixelImage> DecodeChartBand(const std::uint8_t* bytes, int size, int rows) {
    if (bytes == nullptr || size <= 0 || rows <= 0) {
        return std::nullopt;
    }
    PngDecode decode;
    decode.source = PngSource{bytes, static_cast<std::size_t>(size), 0};
    decode.keepRows = static_cast<png_uint_32>(rows);
    decode.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, FailSilently, IgnoreWarning);
    if (decode.png == nullptr) {
        return std::nullopt;
    }
    decode.info = png_create_info_struct(decode.png);
    if (decode.info == nullptr) {
        return std::nullopt;
    }
    png_set_read_fn(decode.png, &decode.source, ReadFromMemory);
    png_set_user_limits(decode.png, MAX_PNG_WIDTH, static_cast<png_uint_32>(MAX_CHART_PIXELS));
    png_set_chunk_malloc_max(decode.png, MAX_PNG_CHUNK_BYTES);
    png_set_chunk_cache_max(decode.png, MAX_PNG_CACHED_CHUNKS);
    // Skip every ancillary chunk but tRNS unread: text, profiles and unknown chunks.
    png_set_keep_unknown_chunks(decode.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);

    if (!DecodeRows(decode)) {
        return std::nullopt;
    }
    return std::move(decode.image);
}

std::optional<CPixelImage> MakeColumnTemplate(const std::uint8_t* masks, int count) {
    int columns = 0;
    while (masks != nullptr && columns < count && columns < MAX_TEMPLATE_COLUMNS &&
           masks[columns] != 0) {
        ++columns;
    }
    CPixelImage pattern;
    if (!pattern.Create(columns, GLYPH_HEIGHT)) {
        return std::nullopt;
    }
    for (int i = 0; i < columns; ++i) {
        for (int r = 0; r < GLYPH_HEIGHT; ++r) {
            pattern.At(i, r) = (masks[i] >> r & 1) != 0 ? INK_COLOR : PAPER_COLOR;
        }
    }
    return pattern;
}

std::optional<PixelPoint> FindTemplate(const CPixelImage& image, const CPixelImage& pattern,
                                       const std::optional<PixelRect>& within) {
    if (image.IsEmpty() || pattern.IsEmpty()) {
        return std::nullopt;
    }
    const int tw = pattern.Width();
    const int th = pattern.Height();
    // 64-bit bounds: a caller's rectangle may lie anywhere in the int range.
    std::int64_t xBegin = 0;
    std::int64_t yBegin = 0;
    std::int64_t xEnd = std::int64_t{image.Width()} - tw;
    std::int64_t yEnd = std::int64_t{image.Height()} - th;
    if (within) {
        // A rectangle reaching left of or above the image is cut at its edge.
        xBegin = std::max<std::int64_t>(within->left, 0);
        yBegin = std::max<std::int64_t>(within->top, 0);
        xEnd = std::min(std::int64_t{within->right} - tw, xEnd);
        yEnd = std::min(std::int64_t{within->bottom} - th, yEnd);
    }
    const std::uint32_t corner = pattern.At(0, 0);
    for (std::int64_t x64 = xBegin; x64 < xEnd; ++x64) {
        const int x = static_cast<int>(x64);
        for (std::int64_t y64 = yBegin; y64 < yEnd; ++y64) {
            const int y = static_cast<int>(y64);
            if (image.At(x, y) != corner) {
                continue; // most positions end here
            }
            bool same = true;
            for (int i = 0; i < tw && same; ++i) {
                for (int r = 0; r < th; ++r) {
                    if (image.At(x + i, y + r) != pattern.At(i, r)) {
                        same = false;
                        break;
                    }
                }
            }
            if (same) {
                return PixelPoint{x, y};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadGlyphText(const CPixelImage& image, int x, int y) {
    const int width = image.Width();
    if (image.IsEmpty() || x < 0 || y < 0 || y > image.Height() - GLYPH_HEIGHT) {
        return std::nullopt;
    }
    std::string text;
    std::array<std::size_t, GLYPH_TABLE.size()> candidates{};
    for (;;) {
        // Between glyphs: the right edge or a foreign pixel ends the text.
        if (x >= width) {
            return text;
        }
        const int first = ReadColumn(image, x, y);
        if (first == FOREIGN_COLUMN) {
            return text;
        }
        if (first == 0) {
            ++x;
            continue;
        }
        std::size_t remaining = 0;
        for (std::size_t i = 0; i < GLYPH_TABLE.size(); ++i) {
            if (EntryColumn(GLYPH_TABLE[i], 0) == first) {
                candidates[remaining++] = i;
            }
        }
        if (remaining == 0) {
            return std::nullopt;
        }

        // Inside a glyph: it ends at a blank column, which it must not reach the edge before.
        for (int k = 1;; ++k) {
            ++x;
            if (x >= width) {
                return std::nullopt;
            }
            const int mask = ReadColumn(image, x, y);
            if (mask == FOREIGN_COLUMN) {
                return std::nullopt;
            }
            if (mask == 0) {
                break;
            }
            const auto kept = std::remove_if(
                candidates.begin(), candidates.begin() + remaining,
                [&](std::size_t i) { return EntryColumn(GLYPH_TABLE[i], k) != mask; });
            remaining = static_cast<std::size_t>(kept - candidates.begin());
            if (remaining == 0) {
                return std::nullopt;
            }
        }
        // A glyph cut short on the right still reads as the first entry it agrees with.
        text.push_back(static_cast<char>(GLYPH_TABLE[candidates[0]][0]));
        ++x; // past the blank column
    }
}

ChartReadResult ReadChartPriceWithStatus(const std::uint8_t* bytes, int size) {
    ChartReadResult result;
    // Nothing below the anchor band is ever looked at, so only the band is kept: the search
    // and the reading see exactly what they would see in the whole image, since neither
    // passes the band's bottom row.
    const std::optional<CPixelImage> image = DecodeChartBand(bytes, size, ANCHOR_BAND_BOTTOM);
    if (!image) {
        result.status = ChartReadStatus::Undecodable;
        return result;
    }
    const std::optional<CPixelImage> anchor =
        MakeColumnTemplate(ANCHOR_GLYPH.data() + 1, static_cast<int>(ANCHOR_GLYPH.size()) - 1);
    const std::optional<PixelPoint> at =
        anchor ? FindTemplate(*image, *anchor, PixelRect{0, 0, image->Width(), ANCHOR_BAND_BOTTOM})
               : std::nullopt;
    if (!at) {
        result.status = ChartReadStatus::NoAnchor;
        return result;
    }
    std::optional<std::string> text = ReadGlyphText(*image, at->x + anchor->Width(), at->y);
    if (!text) {
        result.status = ChartReadStatus::ReadingFailed;
        return result;
    }
    result.status = ChartReadStatus::Ok;
    result.text = std::move(*text);
    return result;
}

std::optional<std::string> ReadChartPrice(const std::uint8_t* bytes, int size) {
    ChartReadResult result = ReadChartPriceWithStatus(bytes, size);
    if (result.status != ChartReadStatus::Ok) {
        return std::nullopt;
    }
    return std::move(result.text);
}
