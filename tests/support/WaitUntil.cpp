// SPDX-License-Identifier: MIT
#include "support/WaitUntil.h"

#include <thread>

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               const std::function<void()>& pause) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            return done();
        }
        if (pause) {
            pause();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}
