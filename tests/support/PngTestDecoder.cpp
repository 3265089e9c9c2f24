// SPDX-License-Identifier: MIT
#include "support/PngTestDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct ReadSource {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) {
        png_error(png, "read past the end");
    }
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void IgnoreWarning(png_structp, png_const_charp) {}

// Reads into buffers that the caller sized from the header; no C++ object lives in here.
bool ReadRows(png_structp png, png_infop info, ReadSource* source, DecodedPng* decoded,
              std::vector<std::uint8_t>* raw) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, source, ReadFromMemory);
    png_read_info(png, info);
    decoded->width = static_cast<int>(png_get_image_width(png, info));
    decoded->height = static_cast<int>(png_get_image_height(png, info));
    decoded->bitDepth = png_get_bit_depth(png, info);
    decoded->colorType = png_get_color_type(png, info);
    decoded->interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    decoded->hasTransparencyChunk = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (png_get_PLTE(png, info, &palette, &paletteSize) != 0) {
        decoded->paletteSize = paletteSize;
    }
    if (decoded->width > 4096 || decoded->height > 4096) {
        return false; // the tests never write anything this large
    }

    png_set_expand(png);
    png_set_expand_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(decoded->width) * 8) {
        return false;
    }
    raw->resize(static_cast<std::size_t>(decoded->width) * 8 *
                static_cast<std::size_t>(decoded->height));
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < decoded->height; ++y) {
            png_read_row(png, raw->data() + static_cast<std::size_t>(y) * decoded->width * 8,
                         nullptr);
        }
    }
    png_read_end(png, nullptr);
    return true;
}

} // namespace

RgbaImage DecodedPng::ToRgba8() const {
    RgbaImage image(width, height, 0);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const auto& p = pixels[i];
        image.pixels[i] = (static_cast<std::uint32_t>(p[3] >> 8) << 24) |
                          (static_cast<std::uint32_t>(p[0] >> 8) << 16) |
                          (static_cast<std::uint32_t>(p[1] >> 8) << 8) |
                          static_cast<std::uint32_t>(p[2] >> 8);
    }
    return image;
}

bool DecodePngForTest(const std::vector<std::uint8_t>& bytes, DecodedPng& decoded) {
    decoded = DecodedPng{};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    ReadSource source{bytes.data(), bytes.size(), 0};
    std::vector<std::uint8_t> raw;
    const bool ok = ReadRows(png, info, &source, &decoded, &raw);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        return false;
    }
    decoded.pixels.resize(raw.size() / 8);
    for (std::size_t i = 0; i < decoded.pixels.size(); ++i) {
        for (std::size_t c = 0; c < 4; ++c) {
            const std::uint8_t* sample = raw.data() + i * 8 + c * 2; // big-endian
            decoded.pixels[i][c] = static_cast<std::uint16_t>((sample[0] << 8) | sample[1]);
        }
    }
    return true;
}
