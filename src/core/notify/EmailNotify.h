// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"
#include "core/common/HttpTransport.h"

#include <memory>
#include <thread>

// The path the e-mail request is posted to on the notification server.
inline constexpr const char* EMAIL_NOTIFY_PATH = "/price_notify.php";

// The form of the request, read from the settings file now: "type"=gold, "email", "last",
// "new" and "chg", in the charset of the locale. False, with the body left empty, when no
// address is stored (nothing is to be sent) or the body could not grow.
bool BuildEmailForm(CByteBuffer& body);

// The one worker that posts the e-mail requests to EMAIL_NOTIFY_PATH on the notification
// server, one after the other; answers are thrown away. A request's form is read when it
// is queued, so each carries the prices of its own notification.
class CEmailNotifyThread final {
public:
    // Requests waiting behind the one being sent; a further one pushes the oldest waiting
    // one out, which is said on standard error.
    static constexpr int QUEUE_MAX = 4;

    explicit CEmailNotifyThread(const HttpOptions& limits = {});
    ~CEmailNotifyThread(); // stops and joins
    CEmailNotifyThread(const CEmailNotifyThread&) = delete;
    CEmailNotifyThread& operator=(const CEmailNotifyThread&) = delete;

    // Queues a request with the stored address and prices; the worker starts with the
    // first. False when nothing is queued: no address is stored, or the worker stopped.
    // Start, Notify and Stop belong to one thread.
    bool Notify();
    // Drops the waiting requests and asks the one being sent to end.
    void RequestStop();
    // RequestStop(), then joins the worker.
    void Stop();

private:
    struct Shared;
    std::unique_ptr<Shared> m_shared;
    std::thread m_thread;
};
