// SPDX-License-Identifier: MIT
#include "SpoolSender.h"

#include "httpd/ServiceLog.h"

#include <algorithm>

SpoolSender::SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times)
    : m_spool(spool), m_deliver(std::move(deliver)), m_times(times) {}

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
            if (!Send(file)) {
                relayFailed = true;
                break;
            }
        }
        if (relayFailed) {
            m_relayNotBefore = Clock::now() + Backoff(++m_relayFailures);
        } else if (!m_stop.load()) {
            // Everything due has been tried: wait for a new mail, a retry or a rescan.
            Sleep(std::max<Clock::duration>(nextLook - Clock::now(), Clock::duration::zero()));
        }
    }
}

bool SpoolSender::Send(const std::string& file) {
    std::string error;
    const std::unique_ptr<MailSpool::Claim> claim = m_spool.Take(file, error);
    if (claim == nullptr) {
        if (!error.empty()) {
            LogLine("delivery of " + file + ": " + error);
        }
        return true; // another copy has it, or it was no mail
    }
    const SpooledMail& mail = claim->Mail();
    const Delivery delivery = m_deliver(mail, m_stop);
    switch (delivery.outcome) {
    case Delivery::Outcome::Sent:
        m_relayFailures = 0;
        m_retries.erase(file);
        if (!claim->Remove()) {
            LogLine("delivery to " + mail.recipient + ": sent, but " + file +
                    " cannot be deleted and may be sent again");
        } else {
            LogLine("delivery to " + mail.recipient + ": sent (" + file + ")");
        }
        return true;
    case Delivery::Outcome::Refused:
        m_retries.erase(file);
        LogLine("delivery to " + mail.recipient + ": refused by the relay (" +
                Printable(delivery.detail) + "), " +
                (claim->SetAside() ? "kept in " : "cannot be moved into ") +
                MailSpool::FAILED_FOLDER + "/" + file);
        return true;
    case Delivery::Outcome::Retry:
        break;
    }
    Retry& retry = m_retries[file];
    ++retry.failures;
    const Clock::duration wait = Backoff(retry.failures);
    retry.notBefore = Clock::now() + wait;
    LogLine("delivery to " + mail.recipient + ": not now (" + Printable(delivery.detail) +
            "), attempt " + std::to_string(retry.failures) + ", next in " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
            " s (" + file + ")");
    return false;
}
