// SPDX-License-Identifier: MIT
#include "ChartService.h"

#include "feed/QuoteNumber.h"
#include "httpd/HttpCaching.h"
#include "httpd/ServiceLog.h"
#include "platform/common/WallClock.h"

#include <algorithm>

namespace {

constexpr std::int64_t CLOSED_MAX_AGE = 3600;

void LogRefusal(const HttpRequest& request, int status, const std::string& reason) {
    LogLine("request from " + request.remoteAddress + ": " + std::to_string(status) + " " + reason +
            " (" + Printable(request.method) + " " + Printable(request.target) + ")");
}

} // namespace

ChartService::ChartService(const ChartBoard& board, int feedIntervalSeconds, Clock clock,
                           const HttpLimits& limits)
    : m_board(board), m_interval(std::to_string(feedIntervalSeconds)), m_clock(std::move(clock)),
      m_server(limits, LogRefusal) {
    m_server.Handle("GET", CHART_PATH,
                    [this](const HttpRequest& request) { return OnChart(request); });
    m_server.Handle("GET", HEALTH_PATH, [this](const HttpRequest&) { return OnHealth(); });
}

int ChartService::Bind(const std::string& host, int port) {
    return m_server.Bind(host, port);
}

void ChartService::Run() {
    m_server.Run();
}

void ChartService::Stop() {
    m_server.Stop();
}

HttpResponse ChartService::OnChart(const HttpRequest& request) const {
    const ChartBoard::View view = m_board.Look(m_clock());
    if (!view.live) {
        // Every desktop then says why it has no price, instead of showing an old one.
        return {503,
                view.chart ? "No live gold price: no quote accepted for " +
                                 std::to_string(view.age) + " s.\n"
                           : "No live gold price yet.\n",
                {{"Retry-After", m_interval}, {"Cache-Control", "no-store"}}};
    }
    const ChartImage& chart = *view.chart;
    // While closed the chart cannot change before the reopening; an hour at most, so that
    // a feed that comes back early is not hidden for long.
    std::string maxAge = m_interval;
    if (view.closed) {
        const std::int64_t now = m_clock();
        maxAge = std::to_string(std::clamp<std::int64_t>(
            view.reopens > now ? view.reopens - now : CLOSED_MAX_AGE, 1, CLOSED_MAX_AGE));
    }
    HttpHeaders headers = {{"ETag", chart.etag},
                           {"Last-Modified", HttpDate(static_cast<std::time_t>(chart.modified))},
                           {"Cache-Control", "max-age=" + maxAge}};
    if (NotModified(request, chart.etag, static_cast<std::time_t>(chart.modified))) {
        return {304, {}, std::move(headers)};
    }
    return {200, chart.png, std::move(headers), "image/png"};
}

HttpResponse ChartService::OnHealth() const {
    const ChartBoard::View view = m_board.Look(m_clock());
    std::string json = std::string("{\"status\":\"") +
                       (view.closed ? "closed"
                        : view.live ? "live"
                                    : "stale") +
                       "\"";
    if (view.closed && view.reopens != 0) {
        json +=
            ",\"reopens\":\"" +
            WallClock::FormatInstant(std::chrono::sys_seconds{std::chrono::seconds{view.reopens}}) +
            "\"";
    }
    json += ",\"age_seconds\":" + (view.chart ? std::to_string(view.age) : std::string("null"));
    if (view.chart) {
        json += ",\"price\":\"" + QuoteText(view.chart->price) + "\"";
    }
    json += ",\"stale_after_seconds\":" + std::to_string(m_board.StaleAfter()) + "}\n";
    return {view.live ? 200 : 503, json, {{"Cache-Control", "no-store"}}, "application/json"};
}
