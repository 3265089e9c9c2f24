// SPDX-License-Identifier: MIT
#include "chartgen/PngWriter.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <map>
#include <new>

namespace {

// How one encoding lays out its samples in the file.
struct Layout {
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    int channels = 3; // samples per pixel as stored
};

Layout LayoutOf(PngEncoding encoding) {
    switch (encoding) {
    case PngEncoding::Rgb8:
        return {PNG_COLOR_TYPE_RGB, 8, 3};
    case PngEncoding::Rgba8:
        return {PNG_COLOR_TYPE_RGB_ALPHA, 8, 4};
    case PngEncoding::Rgb16:
        return {PNG_COLOR_TYPE_RGB, 16, 3};
    case PngEncoding::Rgba16:
        return {PNG_COLOR_TYPE_RGB_ALPHA, 16, 4};
    case PngEncoding::Gray1:
        return {PNG_COLOR_TYPE_GRAY, 1, 1};
    case PngEncoding::Gray2:
        return {PNG_COLOR_TYPE_GRAY, 2, 1};
    case PngEncoding::Gray4:
        return {PNG_COLOR_TYPE_GRAY, 4, 1};
    case PngEncoding::Gray8:
        return {PNG_COLOR_TYPE_GRAY, 8, 1};
    case PngEncoding::Gray16:
        return {PNG_COLOR_TYPE_GRAY, 16, 1};
    case PngEncoding::GrayAlpha8:
        return {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2};
    case PngEncoding::GrayAlpha16:
        return {PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2};
    case PngEncoding::Palette1:
        return {PNG_COLOR_TYPE_PALETTE, 1, 1};
    case PngEncoding::Palette2:
        return {PNG_COLOR_TYPE_PALETTE, 2, 1};
    case PngEncoding::Palette4:
        return {PNG_COLOR_TYPE_PALETTE, 4, 1};
    case PngEncoding::Palette8:
        return {PNG_COLOR_TYPE_PALETTE, 8, 1};
    }
    return {};
}

constexpr unsigned Alpha(std::uint32_t argb) {
    return argb >> 24;
}
constexpr unsigned Red(std::uint32_t argb) {
    return (argb >> 16) & 0xFFu;
}
constexpr unsigned Green(std::uint32_t argb) {
    return (argb >> 8) & 0xFFu;
}
constexpr unsigned Blue(std::uint32_t argb) {
    return argb & 0xFFu;
}

// Packs samples of any bit depth into rows, leftmost sample in the high bits of a byte.
class RowPacker final {
public:
    RowPacker(std::vector<std::uint8_t>& data, std::size_t rowBytes, int bitDepth)
        : m_data(data), m_rowBytes(rowBytes), m_bitDepth(bitDepth) {}

    void StartRow(int y) {
        m_byte = static_cast<std::size_t>(y) * m_rowBytes;
        m_bit = 0;
    }

    // An 8-bit value: reduced to a small depth with rounding, widened to 16 bits by * 257.
    void Put(unsigned value8) {
        if (m_bitDepth == 16) {
            const unsigned wide = value8 * 257u;
            m_data[m_byte++] = static_cast<std::uint8_t>(wide >> 8);
            m_data[m_byte++] = static_cast<std::uint8_t>(wide & 0xFFu);
        } else if (m_bitDepth == 8) {
            m_data[m_byte++] = static_cast<std::uint8_t>(value8);
        } else {
            const unsigned maxValue = (1u << m_bitDepth) - 1u;
            PutIndex((value8 * maxValue + 127u) / 255u);
        }
    }

    // A raw sample of the packer's depth (a palette index).
    void PutIndex(unsigned sample) {
        if (m_bitDepth >= 8) {
            m_data[m_byte++] = static_cast<std::uint8_t>(sample);
            return;
        }
        const int shift = 8 - m_bitDepth - m_bit;
        m_data[m_byte] = static_cast<std::uint8_t>(m_data[m_byte] | (sample << shift));
        m_bit += m_bitDepth;
        if (m_bit == 8) {
            m_bit = 0;
            ++m_byte;
        }
    }

private:
    std::vector<std::uint8_t>& m_data;
    std::size_t m_rowBytes;
    int m_bitDepth;
    std::size_t m_byte = 0;
    int m_bit = 0;
};

struct WriteTarget {
    std::vector<std::uint8_t>* out = nullptr;
};

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        target->out->insert(target->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    // Raised outside the handler: the jump must not leave a live exception behind.
    if (failed) {
        png_error(png, "out of memory");
    }
}

void FlushNothing(png_structp) {}

void ThrowOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Everything libpng needs, prepared before the first libpng call so that an error jump
// skips no destructor.
struct EncodeJob {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    Layout layout;
    bool interlaced = false;
    int compressionLevel = 6;
    const png_color* palette = nullptr;
    int paletteSize = 0;
    const png_byte* transparency = nullptr;
    int transparencySize = 0;
    png_bytep* rows = nullptr;
    WriteTarget* target = nullptr;
};

bool RunLibpng(const EncodeJob& job) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowOnError, IgnoreWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, job.target, WriteToVector, FlushNothing);
    png_set_compression_level(png, job.compressionLevel);
    png_set_IHDR(png, info, job.width, job.height, job.layout.bitDepth, job.layout.colorType,
                 job.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (job.paletteSize > 0) {
        png_set_PLTE(png, info, job.palette, job.paletteSize);
    }
    if (job.transparencySize > 0) {
        png_set_tRNS(png, info, job.transparency, job.transparencySize, nullptr);
    }
    png_write_info(png, info);
    png_write_image(png, job.rows); // runs the Adam7 passes itself when interlaced
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The distinct colours in order of first appearance, or false when there are too many.
bool BuildPalette(const RgbaImage& image, std::size_t maxColors,
                  std::map<std::uint32_t, unsigned>& index, std::vector<std::uint32_t>& colors) {
    for (const std::uint32_t pixel : image.pixels) {
        if (index.find(pixel) != index.end()) {
            continue;
        }
        if (colors.size() == maxColors) {
            return false;
        }
        index.emplace(pixel, static_cast<unsigned>(colors.size()));
        colors.push_back(pixel);
    }
    return true;
}

std::vector<std::uint8_t> Encode(const RgbaImage& image, const PngOptions& options) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
        return {};
    }
    const Layout layout = LayoutOf(options.encoding);

    std::map<std::uint32_t, unsigned> paletteIndex;
    std::vector<std::uint32_t> paletteColors;
    std::vector<png_color> plte;
    std::vector<png_byte> trns;
    if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
        if (!BuildPalette(image, std::size_t{1} << layout.bitDepth, paletteIndex, paletteColors)) {
            return {};
        }
        bool anyTransparent = false;
        for (const std::uint32_t color : paletteColors) {
            plte.push_back({static_cast<png_byte>(Red(color)), static_cast<png_byte>(Green(color)),
                            static_cast<png_byte>(Blue(color))});
            trns.push_back(static_cast<png_byte>(Alpha(color)));
            anyTransparent = anyTransparent || Alpha(color) != 0xFFu;
        }
        if (!anyTransparent) {
            trns.clear();
        }
    }

    const std::size_t bitsPerPixel =
        static_cast<std::size_t>(layout.channels) * static_cast<std::size_t>(layout.bitDepth);
    const std::size_t rowBytes = (static_cast<std::size_t>(image.width) * bitsPerPixel + 7) / 8;
    std::vector<std::uint8_t> data(rowBytes * static_cast<std::size_t>(image.height), 0);
    RowPacker packer(data, rowBytes, layout.bitDepth);
    for (int y = 0; y < image.height; ++y) {
        packer.StartRow(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t pixel = image.At(x, y);
            switch (layout.colorType) {
            case PNG_COLOR_TYPE_PALETTE:
                packer.PutIndex(paletteIndex.at(pixel));
                break;
            case PNG_COLOR_TYPE_GRAY:
                packer.Put(Red(pixel));
                break;
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                packer.Put(Red(pixel));
                packer.Put(Alpha(pixel));
                break;
            default:
                packer.Put(Red(pixel));
                packer.Put(Green(pixel));
                packer.Put(Blue(pixel));
                if (layout.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
                    packer.Put(Alpha(pixel));
                }
                break;
            }
        }
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = data.data() + y * rowBytes;
    }

    std::vector<std::uint8_t> out;
    WriteTarget target{&out};
    EncodeJob job;
    job.width = static_cast<png_uint_32>(image.width);
    job.height = static_cast<png_uint_32>(image.height);
    job.layout = layout;
    job.interlaced = options.interlaced;
    job.compressionLevel = std::clamp(options.compressionLevel, 0, 9);
    job.palette = plte.data();
    job.paletteSize = static_cast<int>(plte.size());
    job.transparency = trns.data();
    job.transparencySize = static_cast<int>(trns.size());
    job.rows = rows.data();
    job.target = &target;
    if (!RunLibpng(job)) {
        return {};
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> EncodePng(const RgbaImage& image, const PngOptions& options) {
    try {
        return Encode(image, options);
    } catch (const std::bad_alloc&) {
        return {};
    }
}
