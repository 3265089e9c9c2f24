// SPDX-License-Identifier: MIT
// What reading one chart costs next to libpng decoding the same bytes alone, and how much
// memory one read takes at its peak.
#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "core/acquisition/ChartReader.h"
#include "core/acquisition/GlyphTable.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>

// ---- Every heap block of the process is counted, so the peak of one read can be seen ----

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ORVANTIS_COUNT_HEAP 1
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}
#endif

namespace {

std::atomic<std::int64_t> g_heapInUse{0};
std::atomic<std::int64_t> g_heapPeak{0};

void* Counted(void* block) {
    if (block != nullptr) {
        const std::int64_t now = g_heapInUse +=
            static_cast<std::int64_t>(malloc_usable_size(block));
        std::int64_t peak = g_heapPeak.load();
        while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return block;
}

void Uncount(void* block) {
    if (block != nullptr) {
        g_heapInUse -= static_cast<std::int64_t>(malloc_usable_size(block));
    }
}

} // namespace

#ifdef ORVANTIS_COUNT_HEAP
extern "C" {
void* malloc(std::size_t size) {
    return Counted(__libc_malloc(size));
}
void* calloc(std::size_t count, std::size_t size) {
    return Counted(__libc_calloc(count, size));
}
void* realloc(void* block, std::size_t size) {
    Uncount(block);
    void* grown = __libc_realloc(block, size);
    if (grown == nullptr && block != nullptr && size != 0) {
        Counted(block); // the old block stays
        return nullptr;
    }
    return Counted(grown);
}
void free(void* block) {
    Uncount(block);
    __libc_free(block);
}
void* memalign(std::size_t alignment, std::size_t size) {
    return Counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return Counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* block = Counted(__libc_memalign(alignment, size));
    if (block == nullptr) {
        return ENOMEM;
    }
    *out = block;
    return 0;
}
}
#endif

namespace {

// A realistic chart as the demo server draws it, stored as `encoding`.
const std::vector<std::uint8_t>& ChartBytes(PngEncoding encoding) {
    static std::map<PngEncoding, std::vector<std::uint8_t>> charts;
    auto& bytes = charts[encoding];
    if (bytes.empty()) {
        ChartSpec drawn;
        drawn.priceText = "1662.50";
        drawn.seed = 42;
        bytes = EncodePng(DrawChart(drawn), {encoding, false, 6});
    }
    return bytes;
}

// libpng alone: the same bytes decoded to 8-bit RGBA rows, nothing else.
struct Source {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t offset;
};

void ReadSource(png_structp png, png_bytep out, std::size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) {
        png_error(png, "end of data");
    }
    std::memcpy(out, source->bytes + source->offset, length);
    source->offset += length;
}

struct PlainDecode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Source source{};
    std::unique_ptr<std::uint8_t[]> rgba;
    ~PlainDecode() { png_destroy_read_struct(&png, &info, nullptr); }
};

bool DecodePlain(PlainDecode& d) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_read_info(d.png, d.info);
    png_set_expand(d.png);
    png_set_strip_16(d.png);
    png_set_gray_to_rgb(d.png);
    png_set_add_alpha(d.png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    const png_uint_32 height = png_get_image_height(d.png, d.info);
    const std::size_t rowBytes = png_get_rowbytes(d.png, d.info);
    d.rgba.reset(new std::uint8_t[rowBytes * height]);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(d.png, d.rgba.get() + rowBytes * y, nullptr);
        }
    }
    return true;
}

bool LibpngDecode(const std::vector<std::uint8_t>& bytes) {
    PlainDecode d;
    d.source = Source{bytes.data(), bytes.size(), 0};
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    d.info = png_create_info_struct(d.png);
    png_set_read_fn(d.png, &d.source, ReadSource);
    return DecodePlain(d);
}

constexpr PngEncoding ENCODINGS[] = {PngEncoding::Rgb8, PngEncoding::Palette8, PngEncoding::Rgba8};
constexpr const char* ENCODING_NAMES[] = {"rgb8", "palette8", "rgba8"};

PngEncoding EncodingOf(const benchmark::State& state) {
    return ENCODINGS[static_cast<std::size_t>(state.range(0))];
}

void BM_LibpngDecodeAlone(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = ChartBytes(EncodingOf(state));
    for (auto _ : state) {
        benchmark::DoNotOptimize(LibpngDecode(bytes));
    }
    state.SetLabel(ENCODING_NAMES[state.range(0)]);
}

void BM_ReadChartPrice(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = ChartBytes(EncodingOf(state));
    const int size = static_cast<int>(bytes.size());
    if (ReadChartPrice(bytes.data(), size) != "1662.50") {
        state.SkipWithError("the chart does not read as 1662.50");
        return;
    }
    // One read with the heap counted: its peak above what was in use before it.
    const std::int64_t before = g_heapInUse.load();
    g_heapPeak = before;
    benchmark::DoNotOptimize(ReadChartPrice(bytes.data(), size));
    const std::int64_t peakExtra = g_heapPeak.load() - before;

    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadChartPrice(bytes.data(), size));
    }
    const double image = CHART_DEFAULT_WIDTH * CHART_DEFAULT_HEIGHT * 4.0;
    const double pattern = GlyphWidth(ANCHOR_GLYPH) * GLYPH_HEIGHT * 4.0;
    state.counters["png_bytes"] = size;
#ifdef ORVANTIS_COUNT_HEAP
    state.counters["peak_extra"] = static_cast<double>(peakExtra);
#else
    static_cast<void>(peakExtra); // the sanitizer's allocator is not counted
#endif
    state.counters["image+tmpl+png"] = image + pattern + size;
    state.SetLabel(ENCODING_NAMES[state.range(0)]);
}

BENCHMARK(BM_LibpngDecodeAlone)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadChartPrice)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both side by side in one loop, taking turns at going first, on this thread's CPU clock: on
// a shared machine the two separate runs above may see different loads.
void BM_ReadOverDecode(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = ChartBytes(EncodingOf(state));
    const int size = static_cast<int>(bytes.size());
    double decoding = 0;
    double reading = 0;
    bool readFirst = false;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const double start = ThreadSeconds();
            if ((turn == 0) == readFirst) {
                benchmark::DoNotOptimize(ReadChartPrice(bytes.data(), size));
                reading += ThreadSeconds() - start;
            } else {
                benchmark::DoNotOptimize(LibpngDecode(bytes));
                decoding += ThreadSeconds() - start;
            }
        }
        readFirst = !readFirst;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["read_us"] = reading / runs * 1e6;
    state.counters["decode_us"] = decoding / runs * 1e6;
    state.counters["ratio"] = reading / decoding;
    state.SetLabel(ENCODING_NAMES[state.range(0)]);
}
BENCHMARK(BM_ReadOverDecode)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
