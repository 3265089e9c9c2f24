// SPDX-License-Identifier: MIT
// orvantis-chart: reads the price out of chart PNG files the way the program does.

#include "HistoryExport.h"
#include "core/acquisition/ChartDownload.h"
#include "core/acquisition/ChartReader.h"
#include "core/app/InstanceProtocol.h"
#include "core/app/InstanceStatus.h"
#include "core/common/ByteBuffer.h"
#include "core/common/Globals.h"
#include "core/common/ServerConfig.h"
#include "net/curl/CurlTransport.h"
#include "platform/Platform.h"
#include "platform/common/WallClock.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int EXIT_ALL_READ = 0;
constexpr int EXIT_SOME_UNREAD = 1;
constexpr int EXIT_TROUBLE = 2; // usage or input/output errors

// Charts are a few kilobytes; a larger input is refused rather than read into memory.
constexpr std::size_t MAX_INPUT_BYTES = 16 * 1024 * 1024;
constexpr long MAX_REPEAT = 1000000000;

constexpr const char* USAGE =
    "usage: orvantis-chart [--repeat N] FILE... | --fetch | --status [--json] |\n"
    "       --history [--since DATE] [--until DATE] | --help";

// The running program answers at once; a program that is stuck gets this long.
constexpr int STATUS_TIMEOUT_MS = 2000;

void PrintHelp() {
    std::printf("%s\n"
                "\n"
                "Reads the gold price out of chart PNG files the way Orvantis does, and prints\n"
                "one line per file: 'FILE: TEXT' when a price text was read (it may be empty),\n"
                "'FILE: no price' when none was.\n"
                "\n"
                "  FILE        a PNG file; '-' reads standard input (at most 16 MiB)\n"
                "  --repeat N  read each file N times (for timing) and print it once\n"
                "  --fetch     download the chart from the chart server once and read it;\n"
                "              says why there is no price when there is none\n"
                "              (server: ORVANTIS_CHART_SERVER, scheme://host[:port]; a value\n"
                "              that is set but not a server is an error)\n"
                "  --status    ask the running program for its price line, for status bars:\n"
                "              '1662.50 +12.50' (exit status 1 when no program runs)\n"
                "  --json      with --status: one JSON object for a waybar custom module,\n"
                "              {\"text\":...,\"tooltip\":...,\"class\":...} with the class\n"
                "              up, down, flat, stale or none\n"
                "  --history   print the kept price history as CSV: time_utc,price,state\n"
                "              (--since DATE, --until DATE: YYYY-MM-DD, whole days, or\n"
                "              YYYY-MM-DDTHH:MM:SSZ; UTC)\n"
                "  --          every argument after this is a file\n"
                "  --help      show this text\n"
                "\n"
                "Exit status: 0 when every file gave a price text, 1 when any did not,\n"
                "2 for usage or input/output errors.\n",
                USAGE);
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "orvantis-chart: %s (see --help)\n", message.c_str());
    return EXIT_TROUBLE;
}

// Reads a whole file ('-' = standard input) of at most MAX_INPUT_BYTES; an error text
// for people when that fails.
bool ReadInput(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& error) {
    const bool fromStdin = name == "-";
    std::FILE* file = fromStdin ? stdin : std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t block[65536];
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        if (bytes.size() + got > MAX_INPUT_BYTES) {
            error = "larger than 16 MiB";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), block, block + got);
        if (got < sizeof block) {
            if (std::ferror(file) != 0) {
                error = std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    if (!fromStdin) {
        std::fclose(file);
    }
    return ok;
}

const char* Reason(ChartReadStatus status) {
    switch (status) {
    case ChartReadStatus::Ok:
        return "ok";
    case ChartReadStatus::Undecodable:
        return "undecodable image";
    case ChartReadStatus::NoAnchor:
        return "no anchor";
    case ChartReadStatus::ReadingFailed:
        return "reading failed";
    }
    return "unknown";
}

int ReadFiles(const std::vector<std::string>& files, long repeat) {
    int status = EXIT_ALL_READ;
    std::vector<std::uint8_t> bytes;
    for (const std::string& name : files) {
        std::string error;
        if (!ReadInput(name, bytes, error)) {
            std::fprintf(stderr, "orvantis-chart: %s: %s\n", name.c_str(), error.c_str());
            status = EXIT_TROUBLE;
            continue;
        }
        std::optional<std::string> text;
        for (long i = 0; i < repeat; ++i) {
            text = ReadChartPrice(bytes.data(), static_cast<int>(bytes.size()));
        }
        if (text) {
            std::printf("%s: %s\n", name.c_str(), text->c_str());
        } else {
            std::printf("%s: no price\n", name.c_str());
            if (status == EXIT_ALL_READ) {
                status = EXIT_SOME_UNREAD;
            }
        }
        std::fflush(stdout);
    }
    return status;
}

int Fetch() {
    const std::string url = ChartUrl();
    CByteBuffer buffer;
    DownloadReport report;
    const int downloaded = DownloadToBuffer(buffer, url, &report);
    if (downloaded != 0) {
        std::string why;
        if (downloaded < 0) {
            why =
                "network error: " + (report.error.empty() ? std::string("unknown") : report.error);
        } else if (report.httpStatus != 0) {
            why = "HTTP status " + std::to_string(report.httpStatus);
        } else {
            why = "no answer" + (report.error.empty() ? std::string() : ": " + report.error);
        }
        std::fprintf(stderr, "orvantis-chart: %s: %s\n", url.c_str(), why.c_str());
        return EXIT_TROUBLE;
    }
    const ChartReadResult result = ReadChartPriceWithStatus(buffer.Data(), buffer.Size());
    if (result.status != ChartReadStatus::Ok) {
        std::printf("%s: no price (%s)\n", url.c_str(), Reason(result.status));
        return EXIT_SOME_UNREAD;
    }
    std::printf("%s: %s\n", url.c_str(), result.text.c_str());
    return EXIT_ALL_READ;
}

// Asks the running program over its per-user socket, the one a second start hands over on.
int Status(bool json) {
    const std::string folder =
        platform::InstanceFolder(platform::UserConfigDir() + "/" + APP_FOLDER_VENDOR + "/" +
                                     APP_FOLDER_NAME + "/" + INSTANCE_FALLBACK_FOLDER,
                                 nullptr);
    std::string answer;
    std::optional<InstanceStatus> status;
    if (!folder.empty() &&
        platform::LocalSocketExchange(folder + "/" + INSTANCE_SOCKET_NAME,
                                      std::string(INSTANCE_REQUEST_STATUS) + "\n", &answer,
                                      STATUS_TIMEOUT_MS, INSTANCE_MAX_ANSWER)) {
        status = DecodeStatusAnswer(answer);
    }
    if (!status) {
        std::fprintf(stderr, "orvantis-chart: Orvantis is not running\n");
        return EXIT_SOME_UNREAD;
    }
    std::printf("%s\n", json ? StatusJson(*status).c_str() : status->text.c_str());
    return EXIT_ALL_READ;
}

bool ParseRepeat(std::string_view text, long& repeat) {
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, repeat);
    return error == std::errc() && next == end && repeat >= 1 && repeat <= MAX_REPEAT;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "--history") {
        return ExportHistory(argc, argv, 2);
    }
    CCurlTransport transport;
    SetHttpTransport(transport);
    std::vector<std::string> files;
    long repeat = 1;
    bool fetch = false;
    bool status = false;
    bool json = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            files.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return EXIT_ALL_READ;
        } else if (arg == "--fetch") {
            fetch = true;
        } else if (arg == "--status") {
            status = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--repeat") {
            if (i + 1 >= argc) {
                return UsageError("--repeat needs a count");
            }
            if (!ParseRepeat(argv[++i], repeat)) {
                return UsageError("--repeat needs a whole number from 1 to 1000000000");
            }
        } else {
            return UsageError("unknown option " + std::string(arg));
        }
    }
    if (json && !status) {
        return UsageError("--json goes with --status");
    }
    if (const std::string error = WallClock::StartFromEnvironment(); !error.empty()) {
        std::fprintf(stderr, "orvantis-chart: %s\n", error.c_str());
        return EXIT_TROUBLE;
    }
    if (status) {
        if (fetch || !files.empty()) {
            return UsageError("--status takes no files and no --fetch");
        }
        return Status(json);
    }
    if (fetch) {
        if (!files.empty()) {
            return UsageError("--fetch takes no files");
        }
        // A mistyped server must not quietly become the built-in one.
        if (const std::string error = ServerVariableError(CHART_SERVER_VARIABLE); !error.empty()) {
            std::fprintf(stderr, "orvantis-chart: %s\n", error.c_str());
            return EXIT_TROUBLE;
        }
        return Fetch();
    }
    if (files.empty()) {
        return UsageError("no file given");
    }
    return ReadFiles(files, repeat);
}
