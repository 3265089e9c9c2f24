// SPDX-License-Identifier: MIT
#include "core/notify/EmailNotify.h"

#include "core/app/PriceLine.h"
#include "core/common/LocaleText.h"
#include "core/notify/FormPoster.h"
#include "core/settings/Settings.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>

namespace {

bool AddPart(CByteBuffer& body, const char* name, const std::string& utf8Value) {
    return AddFormPart(body, name, Utf8ToLocale(utf8Value));
}

} // namespace

bool BuildEmailForm(CByteBuffer& body) {
    body.Empty();
    const std::string email = ReadSetting(KEY_EMAIL);
    if (email.empty()) {
        return false;
    }
    const std::string lastText = ReadSetting(KEY_TIP_LAST_PRICE);
    std::string newText = ReadSetting(KEY_LAST_PRICE);
    if (newText.empty()) {
        newText = OBTAINING_TEXT;
    }
    std::string changeText;
    if (!lastText.empty()) {
        // A text that holds no number (such as "Obtaining...") counts as 0.
        changeText = FormatPrice(ParseDouble(newText, 0.0) - ParseDouble(lastText, 0.0));
    }
    const bool built = AddPart(body, "type", "gold") && AddPart(body, "email", email) &&
                       AddPart(body, "last", lastText) && AddPart(body, "new", newText) &&
                       AddPart(body, "chg", changeText);
    if (!built) {
        body.Empty();
    }
    return built;
}

// The queue, and the stop of the request being sent.
struct CEmailNotifyThread::Shared {
    explicit Shared(const HttpOptions& httpLimits) : limits(httpLimits) {}

    // Posts the queued forms until a stop.
    void Run() {
        for (;;) {
            CByteBuffer body;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stop.load() || !waiting.empty(); });
                if (stop.load()) {
                    return;
                }
                body = std::move(waiting.front());
                waiting.pop_front();
            }
            HttpOptions options = limits;
            options.stop = &stop;
            std::string answer;
            PostForm(body, EMAIL_NOTIFY_PATH, answer, options);
        }
    }

    const HttpOptions limits;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<CByteBuffer> waiting;
};

CEmailNotifyThread::CEmailNotifyThread(const HttpOptions& limits)
    : m_shared(std::make_unique<Shared>(limits)) {}

CEmailNotifyThread::~CEmailNotifyThread() {
    Stop();
}

bool CEmailNotifyThread::Notify() {
    if (m_shared->stop.load()) {
        return false;
    }
    CByteBuffer body;
    if (!BuildEmailForm(body)) {
        return false;
    }
    {
        const std::lock_guard lock(m_shared->mutex);
        if (m_shared->waiting.size() >= static_cast<std::size_t>(QUEUE_MAX)) {
            m_shared->waiting.pop_front();
            std::fprintf(stderr,
                         "orvantis: %d e-mail requests wait for the notification server "
                         "already; the oldest of them is dropped\n",
                         QUEUE_MAX);
        }
        m_shared->waiting.push_back(std::move(body));
    }
    m_shared->wake.notify_one();
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([shared = m_shared.get()] { shared->Run(); });
        } catch (const std::system_error&) {
            const std::lock_guard lock(m_shared->mutex);
            m_shared->waiting.clear();
            std::fprintf(stderr, "orvantis: no thread for the e-mail request; not sent\n");
            return false;
        }
    }
    return true;
}

void CEmailNotifyThread::RequestStop() {
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stop.store(true);
        m_shared->waiting.clear();
    }
    m_shared->wake.notify_all();
}

void CEmailNotifyThread::Stop() {
    RequestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
