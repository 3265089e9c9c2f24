// SPDX-License-Identifier: MIT
#include "demo/ChartServer.h"

#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "httpd/MultipartForm.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

constexpr const char* LOOPBACK = "127.0.0.1";
constexpr const char* PLAIN_TEXT = "text/plain";
constexpr const char* PNG_TYPE = "image/png";
constexpr std::size_t STREAM_CHUNK = 64 * 1024;
constexpr std::array<std::string_view, 5> FORM_FIELDS = {"type", "email", "last", "new", "chg"};

HttpLimits DemoLimits() {
    HttpLimits limits;
    limits.maxBody = MAX_NOTIFY_BODY;
    // Every client is on this machine: a cap per address would only refuse the tests.
    limits.connectionsPerClient = 0;
    limits.maxThreads = 32;
    // Time enough for the oversized body to reach a client that reads all of it.
    limits.answer = std::chrono::seconds(30);
    return limits;
}

// Keeps one request on one output line whatever the client sent.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F || ch == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out;
}

// The program's fields come first in the order it sends them, then any others by name.
std::size_t FieldRank(const FormField& field) {
    return static_cast<std::size_t>(std::find(FORM_FIELDS.begin(), FORM_FIELDS.end(), field.name) -
                                    FORM_FIELDS.begin());
}

std::string NotifyLine(std::vector<FormField> fields) {
    std::stable_sort(fields.begin(), fields.end(), [](const FormField& a, const FormField& b) {
        const std::size_t rankA = FieldRank(a);
        const std::size_t rankB = FieldRank(b);
        return rankA != rankB ? rankA < rankB : rankA == FORM_FIELDS.size() && a.name < b.name;
    });
    std::string line = "notify:";
    for (const FormField& field : fields) {
        line += " " + Printable(field.name) + "=" + Printable(field.value);
    }
    return line;
}

HttpResponse Png(const std::vector<std::uint8_t>& png) {
    return {200, std::string(png.begin(), png.end()), {}, PNG_TYPE};
}

} // namespace

ChartServer::ChartServer(const ChartdOptions& options)
    : m_server(DemoLimits()), m_feed(options.start, options.step, options.seed, options.prices),
      m_faults(options.faultScript, options.fault, options.faultAfter),
      m_faultFile(options.faultFile), m_width(options.width), m_height(options.height),
      m_png(options.png), m_quiet(options.quiet), m_random(options.seed), m_drawSeed(options.seed) {
    m_server.Handle("GET", CHART_PATH, [this](const HttpRequest&) { return OnChart(); });
    m_server.Handle("POST", NOTIFY_PATH,
                    [this](const HttpRequest& request) { return OnNotify(request); });
}

int ChartServer::Bind(int port) {
    return m_server.Bind(LOOPBACK, port);
}

bool ChartServer::Run() {
    return m_server.Run();
}

void ChartServer::Stop() {
    m_server.Stop();
}

void ChartServer::Print(const std::string& line) {
    std::lock_guard lock(m_printMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::vector<std::uint8_t> ChartServer::RenderChart(const PriceFeed::Frame& frame, bool anchor) {
    ChartSpec drawn;
    drawn.priceText = ChartPriceText(frame.price);
    drawn.daySeries = frame.day;
    drawn.width = m_width;
    drawn.height = m_height;
    drawn.seed = m_drawSeed;
    drawn.anchor = anchor;
    return EncodePng(DrawChart(drawn), m_png);
}

std::string ChartServer::RandomBytes() {
    std::lock_guard lock(m_randomMutex);
    std::string bytes(1024 + m_random() % 7168, '\0');
    for (char& ch : bytes) {
        ch = static_cast<char>(m_random() & 0xFFu);
    }
    // Never by chance a PNG signature.
    bytes[0] = 'G';
    return bytes;
}

HttpResponse ChartServer::OnChart() {
    FaultMode fault = m_faults.Next();
    if (FaultMode fromFile; !m_faultFile.empty() && FaultMode::ReadFile(m_faultFile, fromFile)) {
        fault = fromFile;
    }
    HttpResponse response;
    if (fault.kind == FaultKind::None) {
        const PriceFeed::Frame frame = m_feed.Next();
        const std::vector<std::uint8_t> png = RenderChart(frame);
        response =
            png.empty() ? HttpResponse{500, "cannot draw the chart", {}, PLAIN_TEXT} : Png(png);
        if (!m_quiet && !png.empty()) {
            Print("chart: " + ChartPriceText(frame.price));
        }
    } else {
        if (!m_quiet) {
            Print("chart: fault " + fault.Name());
        }
        response = Misbehave(fault);
    }
    response.headers.emplace_back("Cache-Control", "no-cache");
    return response;
}

// A fault shows at most the price the next chart will show: the price does not move on.
HttpResponse ChartServer::Misbehave(const FaultMode& fault) {
    switch (fault.kind) {
    case FaultKind::Status:
        return {fault.status, "status " + std::to_string(fault.status) + "\n", {}, PLAIN_TEXT};
    case FaultKind::Garbage:
        return {200, RandomBytes(), {}, PNG_TYPE};
    case FaultKind::Truncated: {
        const std::vector<std::uint8_t> png = RenderChart(m_feed.Peek());
        return {200,
                std::string(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
                {},
                PNG_TYPE};
    }
    case FaultKind::Oversized: {
        // A whole valid chart padded with zeros: only a client that stops reading in time
        // is safe from it.
        HttpResponse response{200, {}, {}, PNG_TYPE};
        response.streamLength = OVERSIZED_BODY_BYTES;
        response.pieces = [png = RenderChart(m_feed.Peek())](std::size_t offset) {
            static const std::string zeros(STREAM_CHUNK, '\0');
            if (offset >= png.size()) {
                return std::string_view(zeros);
            }
            return std::string_view(reinterpret_cast<const char*>(png.data()) + offset,
                                    std::min(STREAM_CHUNK, png.size() - offset));
        };
        return response;
    }
    case FaultKind::NoAnchor:
        return Png(RenderChart(m_feed.Peek(), false));
    case FaultKind::Stall: {
        HttpResponse response;
        response.hold = true;
        return response;
    }
    case FaultKind::None:
        break;
    }
    return Png(RenderChart(m_feed.Peek()));
}

HttpResponse ChartServer::OnNotify(const HttpRequest& request) {
    const std::optional<std::string> boundary =
        MultipartForm::Boundary(request.Header("content-type"));
    std::vector<FormField> fields;
    std::string error = "not a multipart form";
    if (!boundary || !MultipartForm::Parse(request.body, *boundary, fields, error)) {
        Print("notify: rejected, " + error);
        return {400, "Bad Request", {}, PLAIN_TEXT};
    }
    Print(NotifyLine(std::move(fields)));
    return {200, "OK", {}, PLAIN_TEXT};
}
