// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

using HttpClock = std::chrono::steady_clock;

// The bytes of one connection, read as they are needed, each wait bounded by a deadline
// and by the server's stop flag.
class HttpConnection final {
public:
    HttpConnection(int fd, const std::atomic<bool>& stop) : m_fd(fd), m_stop(stop) {}

    std::string& Buffer() { return m_buffer; }
    bool TimedOut() const { return m_timedOut; }

    // Adds what arrives before the deadline; false on the end of the stream, an error,
    // the deadline (TimedOut()) or a stop.
    bool Fill(HttpClock::time_point deadline);
    // Until at least size bytes are buffered.
    bool FillTo(std::size_t size, HttpClock::time_point deadline);
    // One line (without its CR LF or LF) from the buffer, reading as needed; nullopt when
    // it does not come or grows beyond maxLine.
    std::optional<std::string> Line(std::size_t maxLine, HttpClock::time_point deadline);
    bool Write(std::string_view bytes, HttpClock::time_point deadline);
    // Writes length bytes as pieces(offset) hands them out; false when one cannot be
    // written or a piece is empty before the end.
    bool WritePieces(std::size_t length, const std::function<std::string_view(std::size_t)>& pieces,
                     HttpClock::time_point deadline);
    // Says nothing and drops what the client sends until it hangs up or the server stops.
    void Hold();
    // After a refusal: what the client still sends is read and dropped for a moment, so
    // that closing with unread bytes does not reset the connection before the client has
    // read the answer.
    void DrainAndClose(HttpClock::time_point deadline);

private:
    int m_fd;
    const std::atomic<bool>& m_stop;
    std::string m_buffer;
    bool m_timedOut = false;
};
