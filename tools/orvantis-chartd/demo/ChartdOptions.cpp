// SPDX-License-Identifier: MIT
#include "demo/ChartdOptions.h"

#include "chartgen/ChartPainter.h"
#include "demo/PriceFeed.h"

#include <array>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string_view>

namespace {

constexpr std::streamsize MAX_PRICES_FILE_BYTES = 4 * 1024 * 1024;

template <typename T> bool ParseInteger(std::string_view text, T low, T high, T& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value >= low &&
           value <= high;
}

bool ReadPricesFile(const std::string& path, std::vector<double>& prices, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the prices file " + path;
        return false;
    }
    std::string text;
    text.resize(static_cast<std::size_t>(MAX_PRICES_FILE_BYTES) + 1);
    file.read(text.data(), MAX_PRICES_FILE_BYTES + 1);
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad() || text.size() > static_cast<std::size_t>(MAX_PRICES_FILE_BYTES)) {
        error = "the prices file " + path + " is unreadable or larger than 4 MiB";
        return false;
    }
    std::string bad;
    if (!PriceFeed::ParseList(text, prices, bad)) {
        error = "not a price in " + path + ": " + bad;
        return false;
    }
    return true;
}

bool ParseFaultList(std::string_view text, std::vector<FaultMode>& modes) {
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find(',', pos);
        end = end == std::string_view::npos ? text.size() : end;
        FaultMode mode;
        if (!FaultMode::Parse(text.substr(pos, end - pos), mode)) {
            return false;
        }
        modes.push_back(mode);
        pos = end + 1;
    }
    return true;
}

struct EncodingName {
    const char* name;
    PngEncoding encoding;
};

constexpr std::array<EncodingName, 15> ENCODING_NAMES = {{
    {"rgb8", PngEncoding::Rgb8},
    {"rgba8", PngEncoding::Rgba8},
    {"rgb16", PngEncoding::Rgb16},
    {"rgba16", PngEncoding::Rgba16},
    {"gray1", PngEncoding::Gray1},
    {"gray2", PngEncoding::Gray2},
    {"gray4", PngEncoding::Gray4},
    {"gray8", PngEncoding::Gray8},
    {"gray16", PngEncoding::Gray16},
    {"grayalpha8", PngEncoding::GrayAlpha8},
    {"grayalpha16", PngEncoding::GrayAlpha16},
    {"palette1", PngEncoding::Palette1},
    {"palette2", PngEncoding::Palette2},
    {"palette4", PngEncoding::Palette4},
    {"palette8", PngEncoding::Palette8},
}};

bool ParseEncoding(std::string_view text, PngEncoding& encoding) {
    for (const EncodingName& entry : ENCODING_NAMES) {
        if (text == entry.name) {
            encoding = entry.encoding;
            return true;
        }
    }
    return false;
}

} // namespace

bool ChartdOptions::Parse(int argc, char** argv, ChartdOptions& options, std::string& error) {
    options = ChartdOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg == "--interlace") {
            options.png.interlaced = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "unknown option or missing value: " + std::string(arg);
            return false;
        }
        const std::string_view value = argv[++i];
        bool ok = true;
        if (arg == "--port") {
            ok = ParseInteger(value, 0, 65535, options.port);
        } else if (arg == "--port-file") {
            options.portFile = std::string(value);
            ok = !options.portFile.empty();
        } else if (arg == "--start") {
            ok = PriceFeed::ParsePrice(value, options.start);
        } else if (arg == "--step") {
            ok = PriceFeed::ParsePrice(value, options.step);
        } else if (arg == "--seed") {
            ok = ParseInteger(value, std::uint32_t{0}, UINT32_MAX, options.seed);
            options.seedGiven = true;
        } else if (arg == "--prices") {
            std::string bad;
            if (!PriceFeed::ParseList(value, options.prices, bad)) {
                error = "not a price: " + bad;
                return false;
            }
        } else if (arg == "--prices-file") {
            if (!ReadPricesFile(std::string(value), options.prices, error)) {
                return false;
            }
        } else if (arg == "--fault") {
            ok = FaultMode::Parse(value, options.fault);
        } else if (arg == "--fault-after") {
            ok = ParseInteger(value, std::uint64_t{0}, UINT64_MAX, options.faultAfter);
        } else if (arg == "--fault-file") {
            options.faultFile = std::string(value);
            ok = !options.faultFile.empty();
        } else if (arg == "--faults") {
            ok = ParseFaultList(value, options.faultScript);
        } else if (arg == "--encoding") {
            ok = ParseEncoding(value, options.png.encoding);
        } else if (arg == "--width") {
            ok = ParseInteger(value, 1, CHART_MAX_SIDE, options.width);
        } else if (arg == "--height") {
            ok = ParseInteger(value, 1, CHART_MAX_SIDE, options.height);
        } else {
            error = "unknown option: " + std::string(arg);
            return false;
        }
        if (!ok) {
            error = "bad value for " + std::string(arg) + ": " + std::string(value.substr(0, 40));
            return false;
        }
    }
    return true;
}

const char* ChartdOptions::Usage() {
    return R"(Usage: orvantis-chartd --config FILE
       orvantis-chartd [OPTIONS]

With --config, the chart publisher: it takes the gold price from the quote feed that FILE
names and serves and publishes the one-day chart (see orvantis-chartd(1)).

Otherwise a demo chart server on 127.0.0.1. It serves a freshly drawn one-day gold chart at
  GET  /NewCharts/gold/images/gold_1d_o_USD.png
and prints each notification form posted to
  POST /price_notify.php
as one line "notify: type=... email=... last=... new=... chg=..." on standard output.

Options:
  --port N            port to listen on, 0 for any free port (default 8080)
  --port-file FILE    write the bound port to FILE once listening
  --start PRICE       first price of the random walk (default 1650.00)
  --step DOLLARS      largest move of the random walk per chart (default 2.50)
  --seed N            seed of the walk and the drawings (default: random)
  --prices LIST       scripted prices, one per chart, separated by commas or blanks;
                      the last one stays (may be repeated, adds to the list)
  --prices-file FILE  scripted prices read from FILE, as for --prices
  --fault MODE        misbehave on chart requests: ok, status:CODE (200 to 599),
                      garbage, truncated, oversized (a 20 MiB body), stall or
                      noanchor (a chart without the anchor before its price)
  --fault-after N     serve N normal charts before --fault applies (default 0)
  --faults LIST       one MODE per chart request, comma separated, before --fault and
                      --fault-after are consulted
  --fault-file FILE   read FILE at every chart request: while it names a MODE, that
                      mode applies before any other (switch faults while running)
  --width N, --height N  chart size in pixels (default 500 x 300)
  --encoding NAME     how the PNG stores the chart: rgb8 (default), rgba8, rgb16,
                      rgba16, gray1/2/4/8/16 (the red channel), grayalpha8/16 or
                      palette1/2/4/8 (a chart needs palette8: more colours fail)
  --interlace         store the charts Adam7-interlaced
  --quiet             do not print a line per chart request
  -h, --help          show this text

Only charts served normally move the price on. SIGINT or SIGTERM stops the server.
)";
}
