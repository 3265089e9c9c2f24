// SPDX-License-Identifier: MIT
#include "StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

StopSignal::StopSignal() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void StopSignal::Request() {
    m_flag.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd wake{m_fd, POLLIN, 0};
        poll(&wake, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    }
    return true;
}
