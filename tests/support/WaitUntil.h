// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>

// Asks `done` again after each pause until it holds or `limit` has passed, and gives its
// last answer. The limit only keeps a broken program from hanging the test; it is never a
// measure of speed. The pause sleeps 10 ms unless the caller gives its own (a widget test
// processes its events there).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20),
               const std::function<void()>& pause = {});
