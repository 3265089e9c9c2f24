// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reads one HTTP/1.x answer from the bytes of its connection as they arrive: the head
// (interim 1xx heads skipped), then the body by its framing (chunked, Content-Length, or
// until the connection closes). Everything it reads is hostile: a head over HEAD_MAX, a
// malformed line or length fails the answer.
class CHttpResponseReader final {
public:
    static constexpr std::size_t HEAD_MAX = 100 * 1024;

    // Takes the next bytes; body bytes are appended to body. False once the answer is
    // malformed (Error() says how).
    bool Feed(std::string_view bytes, std::string& body);
    // The connection closed: true when that is a proper end of the answer.
    bool Closed();

    bool HeadDone() const { return m_state != State::Head; }
    bool Done() const { return m_state == State::Done; }
    const std::string& Error() const { return m_error; }
    long Status() const { return m_status; }
    // The value of the first header of that name (any case).
    std::optional<std::string> Header(std::string_view name) const;
    // The announced body length; -1 when the body is chunked or runs until the close.
    long long ContentLength() const { return m_framing == Framing::Length ? m_left : -1; }

private:
    enum class State { Head, Body, ChunkSize, ChunkEnd, Trailer, Done, Failed };
    enum class Framing { None, Length, Chunked, UntilClose };

    enum class HeadStep { More, Taken, Failed };

    bool Fail(std::string why);
    HeadStep ReadHead();
    bool ParseHead(std::string_view head);
    bool ChooseFraming();
    // The bytes not read yet; valid until the next Feed.
    std::string_view Unread() const { return std::string_view(m_pending).substr(m_read); }
    void Consume(std::size_t count);
    // Takes one unread line (without its line end) when a whole one is there.
    std::optional<std::string_view> TakeLine();
    // One step of the body or of a chunk's line; false when more bytes are needed (or the
    // answer failed or ended).
    bool StepBody(std::string& body);
    bool StepLine();

    State m_state = State::Head;
    Framing m_framing = Framing::None;
    // Bytes are taken by moving m_read forward; the front is dropped only once it is most
    // of the buffer, so that every byte is moved a bounded number of times.
    std::string m_pending;
    std::size_t m_read = 0;
    std::size_t m_scanned = 0; // unread bytes already searched for a line or the head's end
    long m_status = 0;
    std::vector<std::pair<std::string, std::string>> m_headers;
    long long m_left = 0; // of the body (Length) or of the current chunk
    std::size_t m_trailerBytes = 0;
    std::string m_error;
};
