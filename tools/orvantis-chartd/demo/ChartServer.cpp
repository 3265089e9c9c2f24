// SPDX-License-Identifier: MIT
#include "demo/ChartServer.h"

#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace {

constexpr const char* LOOPBACK = "127.0.0.1";
constexpr std::size_t STREAM_CHUNK = 64 * 1024;
constexpr std::size_t WORKER_THREADS = 32; // stalled requests each hold one
constexpr std::array<const char*, 5> FORM_FIELDS = {"type", "email", "last", "new", "chg"};

// Keeps one request on one output line whatever the client sent.
std::string Printable(const std::string& text) {
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

} // namespace

ChartServer::ChartServer(const ChartdOptions& options)
    : m_feed(options.start, options.step, options.seed, options.prices),
      m_faults(options.faultScript, options.fault, options.faultAfter),
      m_faultFile(options.faultFile), m_width(options.width), m_height(options.height),
      m_png(options.png), m_quiet(options.quiet), m_random(options.seed), m_drawSeed(options.seed) {
    m_server.new_task_queue = [] { return new httplib::ThreadPool(WORKER_THREADS); };
    // Only SO_REUSEADDR: the library's default would let a second server share the port.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server.set_payload_max_length(MAX_NOTIFY_BODY);
    m_server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("Internal Server Error", "text/plain");
        });
    m_server.Get(CHART_PATH,
                 [this](const httplib::Request&, httplib::Response& res) { OnChart(res); });
    m_server.Post(NOTIFY_PATH, [this](const httplib::Request& req, httplib::Response& res) {
        OnNotify(req, res);
    });
}

int ChartServer::Bind(int port) {
    if (port == 0) {
        return m_server.bind_to_any_port(LOOPBACK);
    }
    return m_server.bind_to_port(LOOPBACK, port) ? port : -1;
}

bool ChartServer::Run() {
    return m_server.listen_after_bind();
}

void ChartServer::Stop() {
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_server.stop();
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

void ChartServer::StallUntilStopped() {
    std::unique_lock lock(m_stopMutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
}

void ChartServer::OnChart(httplib::Response& res) {
    FaultMode fault = m_faults.Next();
    if (FaultMode fromFile; !m_faultFile.empty() && FaultMode::ReadFile(m_faultFile, fromFile)) {
        fault = fromFile;
    }
    res.set_header("Cache-Control", "no-cache");
    if (!m_quiet && fault.kind != FaultKind::None) {
        Print("chart: fault " + fault.Name());
    }
    switch (fault.kind) {
    case FaultKind::None: {
        const PriceFeed::Frame frame = m_feed.Next();
        const std::vector<std::uint8_t> png = RenderChart(frame);
        if (png.empty()) {
            res.status = 500;
            res.set_content("cannot draw the chart", "text/plain");
            return;
        }
        res.set_content(std::string(png.begin(), png.end()), "image/png");
        if (!m_quiet) {
            Print("chart: " + ChartPriceText(frame.price));
        }
        return;
    }
    case FaultKind::Status:
        res.status = fault.status;
        if (fault.status != 204 && fault.status != 304) {
            res.set_content("status " + std::to_string(fault.status) + "\n", "text/plain");
        }
        return;
    case FaultKind::Garbage:
        res.set_content(RandomBytes(), "image/png");
        return;
    case FaultKind::Truncated: {
        const std::vector<std::uint8_t> png = RenderChart(m_feed.Peek());
        res.set_content(
            std::string(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
            "image/png");
        return;
    }
    case FaultKind::Oversized: {
        // A whole valid chart padded with zeros: only a client that stops reading in time
        // is safe from it.
        auto body = std::make_shared<std::vector<std::uint8_t>>(RenderChart(m_feed.Peek()));
        res.set_content_provider(
            OVERSIZED_BODY_BYTES, "image/png",
            [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                static const std::vector<char> zeros(STREAM_CHUNK, '\0');
                const std::size_t n = std::min(length, STREAM_CHUNK);
                if (offset < body->size()) {
                    const std::size_t part = std::min(n, body->size() - offset);
                    return sink.write(reinterpret_cast<const char*>(body->data() + offset), part);
                }
                return sink.write(zeros.data(), n);
            });
        return;
    }
    case FaultKind::NoAnchor: {
        const std::vector<std::uint8_t> png = RenderChart(m_feed.Peek(), false);
        res.set_content(std::string(png.begin(), png.end()), "image/png");
        return;
    }
    case FaultKind::Stall:
        StallUntilStopped();
        res.status = 503;
        res.set_content("stopping\n", "text/plain");
        return;
    }
}

void ChartServer::OnNotify(const httplib::Request& req, httplib::Response& res) {
    if (!req.is_multipart_form_data()) {
        Print("notify: rejected, not a multipart form");
        res.status = 400;
        res.set_content("Bad Request", "text/plain");
        return;
    }
    std::string line = "notify:";
    for (const char* name : FORM_FIELDS) {
        const auto [first, last] = req.files.equal_range(name);
        for (auto it = first; it != last; ++it) {
            line += " " + std::string(name) + "=" + Printable(it->second.content);
        }
    }
    for (const auto& [name, field] : req.files) {
        if (std::find_if(FORM_FIELDS.begin(), FORM_FIELDS.end(), [&name = name](const char* f) {
                return name == f;
            }) == FORM_FIELDS.end()) {
            line += " " + Printable(name) + "=" + Printable(field.content);
        }
    }
    Print(line);
    res.set_content("OK", "text/plain");
}
