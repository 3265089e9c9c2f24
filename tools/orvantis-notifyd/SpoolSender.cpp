// SPDX-License-Identifier: MIT
#include "SpoolSender.h"

#include "httpd/ServiceLog.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

using State = AlertProgress::State;
using SystemClock = std::chrono::system_clock;

constexpr std::chrono::hours PRUNE_EVERY{1};
constexpr std::chrono::milliseconds SCAN_GAP{50};

long long Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

std::string About(const SpooledMail& mail) {
    return "alert " + Printable(mail.alert.id) + " to " + mail.recipient;
}

// The steady clock's time when the system clock shows that time.
std::chrono::steady_clock::time_point SteadyAt(SystemClock::time_point time) {
    const auto steadyNow = std::chrono::steady_clock::now();
    const auto ahead = time - SystemClock::now();
    return ahead <= SystemClock::duration::zero()
               ? steadyNow
               : steadyNow + std::chrono::duration_cast<std::chrono::steady_clock::duration>(ahead);
}

} // namespace

SpoolSender::SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times, SendPolicy policy)
    : m_spool(spool), m_deliver(std::move(deliver)), m_times(times), m_policy(std::move(policy)),
      m_faults(times) {
    m_spool.OnStored([this](const std::string& file) { Add({file}); });
}

SpoolSender::~SpoolSender() {
    m_spool.OnStored({});
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
    m_work.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SpoolSender::Start() {
    m_thread = std::thread([this] {
        for (int i = 0; i < DELIVERY_THREADS; ++i) {
            m_workers.emplace_back([this] { Work(); });
        }
        Run();
        m_work.notify_all();
        for (std::thread& worker : m_workers) {
            worker.join();
        }
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_wake.notify_all();
    });
}

void SpoolSender::Wake() {
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}

bool SpoolSender::Stop(std::chrono::milliseconds grace) {
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
    m_work.notify_all();
    if (!m_thread.joinable()) {
        return true;
    }
    std::unique_lock lock(m_mutex);
    if (!m_wake.wait_for(lock, grace, [this] { return m_finished; })) {
        return false;
    }
    lock.unlock();
    m_thread.join();
    return true;
}

SenderState SpoolSender::State() const {
    return m_faults.State();
}

// A burst of new alerts wakes the sender for each; it looks at the folder at most every
// SCAN_GAP, or a burst of n alerts would cost n scans of a folder of up to n files.
void SpoolSender::Sleep(Clock::duration duration) {
    const Clock::time_point until = Clock::now() + duration;
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, until, [this] { return m_woken || m_stop.load(); });
    m_wake.wait_until(lock, std::min(until, m_lastScan + SCAN_GAP),
                      [this] { return m_stop.load(); });
    m_woken = false;
}

void SpoolSender::Run() {
    while (!m_stop.load()) {
        PruneWhenDue();
        m_lastScan = Clock::now();
        if (m_lastScan >= m_nextList) {
            m_nextList = m_lastScan + m_times.rescan;
            ListWhenChanged();
        }
        const Clock::time_point nextLook = Dispatch();
        // Everything due is handed out: wait for a new alert, an ended job, a retry or a
        // rescan.
        Sleep(std::max<Clock::duration>(nextLook - Clock::now(), Clock::duration::zero()));
    }
}

// A folder's time of change has a coarse grain: a listing within a second of the change
// counts for nothing, since a file may come in later in the same tick.
void SpoolSender::ListWhenChanged() {
    struct stat folder {};
    if (stat(m_spool.Folder().c_str(), &folder) == 0) {
        const auto changed = std::chrono::seconds(folder.st_mtim.tv_sec) +
                             std::chrono::nanoseconds(folder.st_mtim.tv_nsec);
        const auto now = SystemClock::now().time_since_epoch();
        const bool settled = now - changed > std::chrono::seconds(1);
        if (settled && changed == m_listedChange) {
            return;
        }
        m_listedChange = settled ? changed : std::chrono::nanoseconds(-1);
    }
    Add(m_spool.Waiting());
}

void SpoolSender::Add(const std::vector<std::string>& files) {
    bool added = false;
    {
        std::lock_guard lock(m_mutex);
        for (const std::string& file : files) {
            if (m_backlog.Add(file) && m_inFlight.insert(file).second) {
                m_jobs.push_back({file, {}});
                added = true;
            }
        }
    }
    if (added) {
        m_work.notify_all();
    }
}

SpoolSender::Clock::time_point SpoolSender::Dispatch() {
    Clock::time_point nextLook = m_nextList;
    {
        std::lock_guard lock(m_mutex);
        for (std::string& file : m_backlog.Due(Clock::now(), m_faults, nextLook)) {
            if (m_inFlight.insert(file).second) {
                m_jobs.push_back({std::move(file), {}});
            }
        }
    }
    m_work.notify_all();
    return nextLook;
}

void SpoolSender::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_work.wait(lock, [this] { return m_stop.load() || !m_jobs.empty(); });
        if (m_stop.load()) {
            return;
        }
        const Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        const std::size_t waiting = m_backlog.Size();
        lock.unlock();
        const std::optional<Later> wait = Attempt(job.file, waiting);
        if (!job.turnOf.empty()) {
            // It was handed a channel's turn: if it went elsewhere, the next one in line
            // takes it.
            HandTurn(job.turnOf, m_turns.PassOn(job.turnOf));
        }
        lock.lock();
        m_backlog.Ended(job.file);
        if (const auto late = m_lateTurns.find(job.file); late != m_lateTurns.end()) {
            m_jobs.push_front({job.file, late->second}); // stays in flight
            m_lateTurns.erase(late);
            continue;
        }
        m_inFlight.erase(job.file);
        if (wait) {
            m_backlog.Defer(job.file, *wait);
        } else {
            m_backlog.Drop(job.file);
        }
        // The next look waits for the queue to run dry, or for the end of an attempt
        // that tried a server on behalf of the alerts waiting for it.
        if (m_jobs.empty() || (wait && !wait->channel.empty())) {
            m_woken = true;
            m_wake.notify_all();
        }
    }
}

void SpoolSender::HandTurn(const std::string& channel, const std::optional<std::string>& next) {
    if (!next) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (m_inFlight.insert(*next).second) {
        m_backlog.Resume(*next);
        m_jobs.push_front({*next, channel});
        m_work.notify_one();
    } else {
        // Queued or under way: it has the turn once that attempt ended.
        m_lateTurns[*next] = channel;
    }
}

void SpoolSender::PruneWhenDue() {
    if (Clock::now() < m_nextPrune) {
        return;
    }
    m_nextPrune = Clock::now() + PRUNE_EVERY;
    m_spool.Prune(SystemClock::to_time_t(SystemClock::now() - m_policy.keep));
}

std::optional<SpoolBacklog::Later> SpoolSender::Attempt(const std::string& file,
                                                        std::size_t waiting) {
    std::string error;
    const std::unique_ptr<MailSpool::Claim> claim = m_spool.Take(file, error);
    if (claim == nullptr) {
        if (!error.empty()) {
            LogLine("delivery of " + Printable(file) + ": " + error);
        }
        return std::nullopt; // another copy has it, or it was no alert
    }
    const SpooledMail& mail = claim->Mail();
    const bool mailOnly = mail.alert.type.empty() || !m_policy.route;
    const Route route = mailOnly ? Route{Channel{}} : m_policy.route(mail.recipient);
    AlertProgress progress(route, mail.alert.received);
    const OwnFile receipt = m_spool.Receipts().Load(mail.alert.id, progress, error);
    if (receipt == OwnFile::Unusable) {
        // Without its record the alert could go out again where it was delivered.
        LogLine("the receipt of " + About(mail) + " is unusable: " + error);
        GiveUp(*claim, progress, "its receipt is unusable");
        return std::nullopt;
    }
    progress.Follow(route);
    if (progress.Delivered()) {
        claim->Remove(); // a stop came between the receipt and the deletion
        return std::nullopt;
    }
    std::string why = m_policy.recheck ? m_policy.recheck(mail) : std::string();
    if (why.empty() && SystemClock::now() - mail.alert.received > m_policy.keep) {
        why = "not delivered within keep_days";
    }
    if (!why.empty()) {
        GiveUp(*claim, progress, why);
        return std::nullopt;
    }
    return Proceed(*claim, route, progress, waiting);
}

std::optional<SpoolBacklog::Later> SpoolSender::Proceed(MailSpool::Claim& claim, const Route& route,
                                                        AlertProgress& progress,
                                                        std::size_t waiting) {
    while (const std::optional<std::size_t> index = progress.Current()) {
        if (m_stop.load()) {
            return std::nullopt;
        }
        const Channel& channel = route[*index];
        const bool last = *index + 1 == route.size();
        const auto fallbackAt = progress.WaitingSince(*index) + m_policy.fallbackAfter;
        if (m_faults.Blocked(channel, Clock::now())) {
            if (last || SystemClock::now() < fallbackAt) {
                return WaitFor(channel, route, *index, progress);
            }
            FallBack(claim, route, progress, *index, m_faults.Summary(channel));
            continue;
        }
        if (!m_turns.Take(channel.Text(), claim.File())) {
            // Handed the turn when the delivery under way ends; this only in case it is not.
            return Later{Clock::now() + m_times.longest, {}};
        }
        const Delivery delivery = m_deliver(channel, claim.Mail(), m_stop);
        HandTurn(channel.Text(), m_turns.Free(channel.Text()));
        if (m_stop.load() && delivery.outcome != Delivery::Outcome::Sent) {
            return std::nullopt; // cut short by the stop, not by the server
        }
        m_faults.Note(channel, delivery, waiting);
        const Next next = Settle(claim, route, progress, *index, delivery);
        if (next.what != Next::Onward) {
            return next.what == Next::Wait ? std::optional(next.later) : std::nullopt;
        }
    }
    GiveUp(claim, progress, "every channel failed");
    return std::nullopt;
}

SpoolSender::Next SpoolSender::Settle(MailSpool::Claim& claim, const Route& route,
                                      AlertProgress& progress, std::size_t index,
                                      const Delivery& delivery) {
    const SpooledMail& mail = claim.Mail();
    const Channel& channel = route[index];
    const auto now = SystemClock::now();
    switch (delivery.outcome) {
    case Delivery::Outcome::Sent:
        progress.Record(index, State::Delivered, now, delivery.Summary(), true);
        Keep(mail, progress);
        LogLine(About(mail) + ": delivered by " + channel.Label() + " (" + delivery.detail + ")" +
                (claim.Remove() ? "" : ", but its file cannot be deleted and it may go out again"));
        return {Next::Done};
    case Delivery::Outcome::Refused:
        progress.Record(index, State::Failed, now, delivery.Summary(), true);
        Keep(mail, progress);
        LogLine(About(mail) + ": refused by " + channel.Label() + " (" + delivery.detail + ")" +
                (progress.Current() ? ", on to " + route[*progress.Current()].Label() : ""));
        return {Next::Onward};
    case Delivery::Outcome::Retry:
    case Delivery::Outcome::ServerFault:
        break;
    }
    progress.Record(index, State::Retrying, now, delivery.Summary(), true);
    if (index + 1 < route.size() && now >= progress.WaitingSince(index) + m_policy.fallbackAfter) {
        FallBack(claim, route, progress, index, delivery.Summary());
        return {Next::Onward};
    }
    Keep(mail, progress);
    if (delivery.outcome == Delivery::Outcome::ServerFault) {
        return {Next::Wait, WaitFor(channel, route, index, progress)};
    }
    const int attempts = progress.Steps()[index].attempts;
    const Clock::duration wait = Backoff(m_times, attempts);
    LogLine(About(mail) + ": not now by " + channel.Label() + " (" + delivery.detail +
            "), attempt " + std::to_string(attempts) + ", next in " +
            std::to_string(Seconds(wait)) + " s");
    return {Next::Wait, {Clock::now() + wait, {}}};
}

SpoolBacklog::Later SpoolSender::WaitFor(const Channel& channel, const Route& route,
                                         std::size_t index, const AlertProgress& progress) const {
    // Past fallback_after the next channel takes over, whether or not this one works.
    const bool last = index + 1 == route.size();
    return {last ? Clock::time_point::max()
                 : SteadyAt(progress.WaitingSince(index) + m_policy.fallbackAfter),
            channel.Text()};
}

void SpoolSender::FallBack(const MailSpool::Claim& claim, const Route& route,
                           AlertProgress& progress, std::size_t index, const std::string& summary) {
    const std::string why =
        "no delivery within " + std::to_string(m_policy.fallbackAfter.count()) + " s: " + summary;
    progress.Record(index, State::Failed, SystemClock::now(), why, false);
    Keep(claim.Mail(), progress);
    LogLine(About(claim.Mail()) + ": " + route[index].Label() + " gave no delivery within " +
            std::to_string(m_policy.fallbackAfter.count()) + " s (" + summary + "), on to " +
            route[index + 1].Label());
}

void SpoolSender::GiveUp(MailSpool::Claim& claim, AlertProgress& progress, const std::string& why) {
    progress.FailRemaining(SystemClock::now(), why);
    Keep(claim.Mail(), progress);
    LogLine(About(claim.Mail()) + ": given up, " + why + "; " +
            (claim.SetAside() ? "kept in " : "cannot be moved into ") + MailSpool::FAILED_FOLDER +
            "/" + Printable(claim.File()));
}

void SpoolSender::Keep(const SpooledMail& mail, const AlertProgress& progress) {
    std::string error;
    if (!m_spool.Receipts().Keep(mail.alert.id, progress, error)) {
        LogLine("the receipt of " + About(mail) + " cannot be written: " + error);
    }
}
