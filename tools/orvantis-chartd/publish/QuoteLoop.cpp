// SPDX-License-Identifier: MIT
#include "publish/QuoteLoop.h"

#include "feed/QuoteNumber.h"
#include "httpd/ServiceFiles.h"
#include "httpd/ServiceLog.h"
#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr std::size_t MAX_STATE_BYTES = 256 * 1024; // a day of minutes is about 30 KiB
constexpr int REPEATS_LOGGED = 100;                 // a repeated line is counted in between
// Held by the copy that writes the state folder (and the publish folder with it).
constexpr const char* LOCK_FILE = ".lock";

std::string UtcTime(std::int64_t seconds) {
    return ::UtcTime(std::chrono::system_clock::time_point(std::chrono::seconds(seconds)));
}

} // namespace

QuoteLoop::QuoteLoop(const ChartdConfig& config, QuoteFeed& feed, ChartBoard& board, Clock clock)
    : m_config(config), m_feed(feed), m_board(board), m_clock(std::move(clock)),
      m_gate(config.limits), m_publisher(config.publishDir) {}

QuoteLoop::~QuoteLoop() {
    if (m_lockFd >= 0) {
        close(m_lockFd);
    }
}

std::string QuoteLoop::StatePath() const {
    return m_config.stateDir + "/" + STATE_FILE;
}

void QuoteLoop::Report(const std::string& line) {
    if (!line.empty() && line == m_lastReport) {
        if (++m_repeats >= REPEATS_LOGGED) {
            LogLine(line + " (and " + std::to_string(m_repeats - 1) + " times before)");
            m_repeats = 0;
        }
        return;
    }
    if (m_repeats > 0) {
        LogLine("(the line before came " + std::to_string(m_repeats) + " more time" +
                (m_repeats == 1 ? ")" : "s)"));
    }
    m_repeats = 0;
    m_lastReport = line;
    if (!line.empty()) {
        LogLine(line);
    }
}

void QuoteLoop::RemoveLeftovers() {
    const std::string lock = m_config.stateDir + "/" + LOCK_FILE;
    if (m_lockFd < 0) {
        m_lockFd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (m_lockFd < 0 || flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        LogLine("another copy of the service writes " + m_config.stateDir +
                ", or its lock cannot be taken: temporary files are left as they are");
        return;
    }
    int removed = platform::RemoveLeftoverTemporaries(StatePath());
    if (!m_publisher.Path().empty()) {
        removed += platform::RemoveLeftoverTemporaries(m_publisher.Path());
    }
    if (removed > 0) {
        LogLine("removed " + std::to_string(removed) + " temporary file" +
                (removed == 1 ? "" : "s") + " of writes that a kill cut short");
    }
}

void QuoteLoop::Restore() {
    RemoveLeftovers();
    const std::int64_t now = m_clock();
    std::string text;
    std::string error;
    if (ReadOwnFile(StatePath(), MAX_STATE_BYTES, text, error) != OwnFile::Ok) {
        LogLine("no day to take back (" + StatePath() + ": " + error + "): the chart starts empty");
        return;
    }
    int skipped = 0;
    if (!DayHistory::Parse(text, m_config.limits, now, m_day, skipped)) {
        LogLine(StatePath() + " is not a state file of this service: the chart starts empty");
        return;
    }
    const std::optional<PricePoint> last = m_day.Last();
    const std::size_t count = m_day.Points().size();
    LogLine("took back " + std::to_string(count) + (count == 1 ? " price" : " prices") +
            " of the day" +
            (skipped > 0 ? ", left out " + std::to_string(skipped) + " lines" : std::string()) +
            (last ? ", the last " + QuoteText(last->price) + " at " + UtcTime(last->time) : ""));
    if (!last) {
        return;
    }
    m_gate.SetReference(last->price);
    m_board.Show(ChartPublisher::Draw(m_day, now, nullptr));
    m_live = m_board.Look(now).live;
    if (m_live && !m_publisher.Publish(*m_board.Look(now).chart, error)) {
        Report("publish: " + error);
    }
}

void QuoteLoop::Sample() {
    const FeedSample sample = m_feed.Fetch();
    std::lock_guard lock(m_mutex);
    if (!sample.quote) {
        if (!sample.error.empty()) {
            Report("feed: " + sample.error);
        }
        return;
    }
    const QuoteGate::Outcome outcome = m_gate.Check(*sample.quote);
    switch (outcome.verdict) {
    case QuoteGate::Verdict::Rejected:
        Report("rejected: " + outcome.why);
        return;
    case QuoteGate::Verdict::Held:
        Report("held: " + outcome.why);
        return;
    case QuoteGate::Verdict::Accepted:
        if (!outcome.why.empty()) {
            Report("accepted: " + outcome.why);
        }
        Accept(*sample.quote, m_clock());
        return;
    }
}

void QuoteLoop::Accept(double quote, std::int64_t now) {
    Report({}); // a failure after this one is news again
    m_day.Add(now, quote);
    m_day.Prune(now);
    std::string error;
    if (!platform::ReplaceFile(StatePath(), m_day.Serialize(), 0600, &error)) {
        Report("state: cannot write " + StatePath() + ": " + error);
    }
    const std::shared_ptr<const ChartImage> chart =
        ChartPublisher::Draw(m_day, now, m_board.Look(now).chart);
    if (!chart) {
        Report("the chart of " + QuoteText(quote) + " could not be drawn");
        return;
    }
    m_board.Show(chart);
    if (!m_publisher.Publish(*chart, error)) {
        Report("publish: " + error);
    }
    NoteStale();
}

void QuoteLoop::CheckStale() {
    std::lock_guard lock(m_mutex);
    NoteStale();
}

void QuoteLoop::NoteStale() {
    const std::int64_t now = m_clock();
    const ChartBoard::View view = m_board.Look(now);
    if (view.live == m_live) {
        return;
    }
    m_live = view.live;
    std::string error;
    if (m_live) {
        // A chart withdrawn as stale comes back as the last close when the market closes.
        if (view.closed && !m_publisher.Publish(*view.chart, error)) {
            Report("publish: " + error);
        }
        Report("live: " + QuoteText(view.chart->price) + " is served and published" +
               (view.closed ? " (market closed)" : ""));
        return;
    }
    if (!m_publisher.Withdraw(error)) {
        Report("publish: " + error);
    }
    Report("stale: no quote accepted for " + std::to_string(view.age) + " s, the last " +
           QuoteText(view.chart->price) + " at " + UtcTime(view.chart->quotedAt) +
           "; the chart answers 503" +
           (m_publisher.Path().empty() ? "" : " and " + m_publisher.Path() + " is removed"));
}

void QuoteLoop::WatchStale(const StopSignal& stop) {
    while (!stop.Requested()) {
        std::chrono::milliseconds wait(1000);
        {
            std::lock_guard lock(m_mutex);
            NoteStale();
            if (const ChartBoard::View view = m_board.Look(m_clock()); view.live && !view.closed) {
                // Wakes when the price turns stale, however long the sample takes.
                wait = std::max<std::chrono::milliseconds>(std::chrono::seconds(view.staleIn),
                                                           std::chrono::milliseconds(10));
            }
        }
        stop.WaitFor(wait);
    }
}

void QuoteLoop::Run(const StopSignal& stop) {
    Restore();
    if (!m_live) {
        LogLine("no live price yet: the chart answers 503 until a quote is accepted");
    }
    // A sample may take the whole interval (a feed that answers slowly, a program that
    // says nothing), so the stale state is watched beside it.
    std::thread watch([this, &stop] { WatchStale(stop); });
    const auto interval = std::chrono::seconds(m_config.feed.intervalSeconds);
    auto next = std::chrono::steady_clock::now();
    while (!stop.Requested()) {
        Sample();
        next = std::max(next + interval, std::chrono::steady_clock::now());
        stop.WaitFor(std::chrono::duration_cast<std::chrono::milliseconds>(
            next - std::chrono::steady_clock::now()));
    }
    watch.join();
    std::string error;
    if (!m_publisher.Withdraw(error)) {
        LogLine("publish: " + error);
    }
}
