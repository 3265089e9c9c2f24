// SPDX-License-Identifier: MIT
#include "SpoolSender.h"

#include "httpd/ServiceLog.h"

#include <algorithm>

namespace {

long long Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

} // namespace

SpoolSender::SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times, Recheck recheck)
    : m_spool(spool), m_deliver(std::move(deliver)), m_times(times), m_recheck(std::move(recheck)) {
}

SpoolSender::~SpoolSender() {
    m_stop.store(true);
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SpoolSender::Start() {
    m_thread = std::thread([this] {
        Run();
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
    std::lock_guard lock(m_mutex);
    return m_state;
}

void SpoolSender::Sleep(Clock::duration duration) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, duration, [this] { return m_woken || m_stop.load(); });
    m_woken = false;
}

SpoolSender::Clock::duration SpoolSender::Backoff(int failures) const {
    Clock::duration delay = m_times.first;
    for (int i = 1; i < failures && delay < m_times.longest; ++i) {
        delay *= 2;
    }
    return std::min<Clock::duration>(delay, m_times.longest);
}

void SpoolSender::Run() {
    while (!m_stop.load()) {
        if (Clock::now() < m_relayNotBefore) {
            Sleep(m_relayNotBefore - Clock::now());
            continue;
        }
        const std::vector<std::string> files = m_spool.Waiting();
        std::erase_if(m_retries, [&files](const auto& entry) {
            return !std::binary_search(files.begin(), files.end(), entry.first);
        });
        Clock::time_point nextLook = Clock::now() + m_times.rescan;
        bool relayFailed = false;
        for (const std::string& file : files) {
            if (m_stop.load()) {
                return;
            }
            const auto retry = m_retries.find(file);
            if (retry != m_retries.end() && retry->second.notBefore > Clock::now()) {
                nextLook = std::min(nextLook, retry->second.notBefore);
                continue;
            }
            const std::optional<Delivery> delivery = Send(file);
            if (delivery && !m_stop.load()) {
                NoteRelay(*delivery, files.size());
            }
            if (delivery && delivery->outcome == Delivery::Outcome::RelayFault) {
                relayFailed = true;
                break;
            }
        }
        if (relayFailed) {
            m_relayNotBefore = Clock::now() + Backoff(m_relayFailures);
        } else if (!m_stop.load()) {
            // Everything due has been tried: wait for a new mail, a retry or a rescan.
            Sleep(std::max<Clock::duration>(nextLook - Clock::now(), Clock::duration::zero()));
        }
    }
}

// A relay that takes no mail is worth one loud line, not one per attempt: the state
// (and GET /healthz) shows its latest answer meanwhile.
void SpoolSender::NoteRelay(const Delivery& delivery, std::size_t waiting) {
    if (delivery.outcome != Delivery::Outcome::RelayFault) {
        if (m_relayFailures > 0) {
            LogLine("the relay takes mails again, after " + std::to_string(m_relayFailures) +
                    " failed attempts");
        }
        m_relayFailures = 0;
        std::lock_guard lock(m_mutex);
        m_state = SenderState{};
        return;
    }
    if (++m_relayFailures == 1) {
        LogLine("ALERT: the relay takes no mail: " + delivery.detail + "; mails waiting: " +
                std::to_string(waiting) + ", all kept in the spool and tried again, first in " +
                std::to_string(Seconds(Backoff(1))) + " s");
    }
    std::lock_guard lock(m_mutex);
    if (m_state.delivering) {
        m_state.since = std::chrono::system_clock::now();
    }
    m_state.delivering = false;
    m_state.fault = delivery.detail;
}

std::optional<Delivery> SpoolSender::Send(const std::string& file) {
    std::string error;
    const std::unique_ptr<MailSpool::Claim> claim = m_spool.Take(file, error);
    if (claim == nullptr) {
        if (!error.empty()) {
            LogLine("delivery of " + Printable(file) + ": " + error);
        }
        return std::nullopt; // another copy has it, or it was no mail
    }
    const SpooledMail& mail = claim->Mail();
    const std::string why = m_recheck ? m_recheck(mail) : std::string();
    if (!why.empty()) {
        m_retries.erase(file);
        LogLine("delivery to " + mail.recipient + ": not sent, " + why + "; " +
                (claim->SetAside() ? "kept in " : "cannot be moved into ") +
                MailSpool::FAILED_FOLDER + "/" + Printable(file));
        return std::nullopt;
    }
    const Delivery delivery = m_deliver(mail, m_stop);
    switch (delivery.outcome) {
    case Delivery::Outcome::Sent:
        m_retries.erase(file);
        LogLine("delivery to " + mail.recipient + ": sent" +
                (claim->Remove() ? "" : ", but the file cannot be deleted and may be sent again") +
                " (" + Printable(file) + ")");
        break;
    case Delivery::Outcome::Refused:
        m_retries.erase(file);
        LogLine("delivery to " + mail.recipient + ": refused by the relay (" + delivery.detail +
                "), " + (claim->SetAside() ? "kept in " : "cannot be moved into ") +
                MailSpool::FAILED_FOLDER + "/" + Printable(file));
        break;
    case Delivery::Outcome::Retry: {
        Retry& retry = m_retries[file];
        const Clock::duration wait = Backoff(++retry.failures);
        retry.notBefore = Clock::now() + wait;
        LogLine("delivery to " + mail.recipient + ": not now (" + delivery.detail + "), attempt " +
                std::to_string(retry.failures) + ", next in " + std::to_string(Seconds(wait)) +
                " s (" + Printable(file) + ")");
        break;
    }
    case Delivery::Outcome::RelayFault:
        break; // the mail stays as it is; the relay's back-off holds every mail
    }
    return delivery;
}
