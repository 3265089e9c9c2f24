// SPDX-License-Identifier: MIT
#include "core/notify/EmailNotify.h"

#include "core/common/LocaleText.h"
#include "core/notify/FormPoster.h"
#include "core/settings/Settings.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

// The requests in flight. Never destroyed: a request still running when the process
// ends must not find this gone.
struct EmailThreads {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;
    // The stop of the requests started since the last StopEmailNotifyThreads().
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
};

EmailThreads& Threads() {
    static auto* threads = new EmailThreads;
    return *threads;
}

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

int EmailNotifyThread(const HttpOptions& options) {
    CByteBuffer body;
    if (!BuildEmailForm(body)) {
        return -1;
    }
    std::string answer;
    return PostForm(body, EMAIL_NOTIFY_PATH, answer, options);
}

void StartEmailNotifyThread() {
    EmailThreads& threads = Threads();
    std::shared_ptr<std::atomic<bool>> stop;
    {
        std::lock_guard lock(threads.mutex);
        ++threads.running;
        stop = threads.stop;
    }
    auto finished = [&threads] {
        std::lock_guard lock(threads.mutex);
        --threads.running;
        threads.done.notify_all();
    };
    try {
        std::thread([stop, finished] {
            if (!stop->load()) {
                HttpOptions options;
                options.stop = stop.get();
                EmailNotifyThread(options);
            }
            finished();
        }).detach();
    } catch (const std::system_error&) {
        finished(); // no thread could be had: the request is dropped
    }
}

bool StopEmailNotifyThreads(int timeoutMs) {
    EmailThreads& threads = Threads();
    std::unique_lock lock(threads.mutex);
    threads.stop->store(true);
    threads.stop = std::make_shared<std::atomic<bool>>(false);
    return threads.done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&threads] { return threads.running == 0; });
}
