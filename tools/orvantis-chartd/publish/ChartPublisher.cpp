// SPDX-License-Identifier: MIT
#include "publish/ChartPublisher.h"

#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "platform/AtomicFile.h"
#include "platform/common/ErrnoText.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// FNV-1a over the bytes: a validator needs to change with them, not to be secret.
std::string EntityTag(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char ch : bytes) {
        hash = (hash ^ static_cast<unsigned char>(ch)) * 0x100000001b3u;
    }
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace

ChartPublisher::ChartPublisher(std::string publishDir)
    : m_path(publishDir.empty() ? std::string() : publishDir + "/" + FILE_NAME) {}

std::shared_ptr<const ChartImage>
ChartPublisher::Draw(const DayHistory& day, std::int64_t now,
                     const std::shared_ptr<const ChartImage>& previous) {
    const std::optional<PricePoint> last = day.Last();
    if (!last) {
        return nullptr;
    }
    ChartSpec drawn;
    drawn.priceText = ChartPriceText(last->price);
    drawn.dayEnd = std::max(now, last->time);
    for (const PricePoint& point : day.Points()) {
        drawn.daySeries.push_back(point.price);
        drawn.dayTimes.push_back(point.time);
    }
    const std::vector<std::uint8_t> png = EncodePng(DrawChart(drawn));
    if (png.empty()) {
        return nullptr;
    }
    auto chart = std::make_shared<ChartImage>();
    chart->png.assign(png.begin(), png.end());
    chart->etag = EntityTag(chart->png);
    chart->price = last->price;
    chart->quotedAt = last->time;
    const bool same = previous && previous->etag == chart->etag && previous->png == chart->png;
    chart->modified = same ? previous->modified : now;
    return chart;
}

bool ChartPublisher::Publish(const ChartImage& chart, std::string& error) const {
    // Readable by the web server in front, whatever the service's umask.
    std::string failure;
    if (m_path.empty() || platform::ReplaceFile(m_path, chart.png, 0644, &failure)) {
        return true;
    }
    error = "cannot write " + m_path + ": " + failure;
    return false;
}

bool ChartPublisher::Withdraw(std::string& error) const {
    if (m_path.empty() || unlink(m_path.c_str()) == 0 || errno == ENOENT) {
        return true;
    }
    error = ErrnoText("cannot remove " + m_path, errno);
    return false;
}
