// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"
#include "core/common/HttpSession.h"

// The path the e-mail request is posted to on the notification server.
inline constexpr const char* EMAIL_NOTIFY_PATH = "/price_notify.php";
// Shown as the new price while none is stored.
inline constexpr const char* OBTAINING_TEXT = "Obtaining...";

// Starts one e-mail request on its own worker thread (the form is built from the
// settings file there). Nobody waits for it while the program runs.
void StartEmailNotifyThread();

// At exit: asks the requests still in flight to stop and waits for them at most
// timeoutMs milliseconds. True when none is left running. Requests started afterwards
// run normally.
bool StopEmailNotifyThreads(int timeoutMs);

// The form of the request, read from the settings file now: "type"=gold, "email", "last",
// "new" and "chg", in the charset of the locale. False, with the body left empty, when no
// address is stored (nothing is to be sent) or the body could not grow.
bool BuildEmailForm(CByteBuffer& body);

// The work of one e-mail thread: builds the form and posts it to EMAIL_NOTIFY_PATH on the
// notification server; the answer is thrown away. -1 when no address is stored (no
// connection is made), else the result of PostForm.
int EmailNotifyThread(const HttpOptions& options);
