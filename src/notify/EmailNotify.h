// SPDX-License-Identifier: MIT
#pragma once

// Starts one e-mail request on its own worker thread (the form is built from the
// settings file there). Nobody waits for it while the program runs.
void StartEmailNotifyThread();

// At exit: asks the requests still in flight to stop and waits for them at most
// timeoutMs milliseconds. True when none is left running.
bool StopEmailNotifyThreads(int timeoutMs);
