// SPDX-License-Identifier: MIT
#include "net/qt/HttpResponseReader.h"

#include "http/HttpGrammar.h"
#include "platform/common/Trim.h"

#include <algorithm>

namespace {

constexpr std::size_t LINE_MAX = 8 * 1024; // of a chunk size or trailer line

} // namespace

using http::EqualNoCase;
using http::ParseNumber;

bool CHttpResponseReader::Fail(std::string why) {
    m_state = State::Failed;
    m_error = std::move(why);
    return false;
}

std::optional<std::string> CHttpResponseReader::Header(std::string_view name) const {
    for (const auto& [key, value] : m_headers) {
        if (EqualNoCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

void CHttpResponseReader::Consume(std::size_t count) {
    m_read += count;
    m_scanned = 0;
}

std::optional<std::string_view> CHttpResponseReader::TakeLine() {
    const std::string_view unread = Unread();
    const std::size_t end = unread.find('\n', m_scanned);
    if (end == std::string_view::npos) {
        m_scanned = unread.size();
        return std::nullopt;
    }
    Consume(end + 1);
    return http::WithoutCr(unread.substr(0, end));
}

bool CHttpResponseReader::ParseHead(std::string_view head) {
    m_headers.clear();
    std::size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        const std::string_view line = http::CutLine(head, start);
        if (first) {
            first = false;
            // "HTTP/1.1 200 OK": the version, a blank, three digits, then anything.
            if (!line.starts_with("HTTP/1.") || line.size() < 12 || line[8] != ' ' ||
                (line.size() > 12 && line[12] != ' ')) {
                return Fail("the server's answer is not HTTP/1");
            }
            const auto status = ParseNumber<long>(line.substr(9, 3), 10);
            if (!status || *status < 100) {
                return Fail("the server's answer has no status");
            }
            m_status = *status;
            continue;
        }
        const std::optional<http::HeaderLine> header = http::SplitHeaderLine(line);
        if (!header) {
            return Fail("the server's answer has a malformed header line");
        }
        m_headers.emplace_back(header->name, header->value);
    }
    return true;
}

bool CHttpResponseReader::ChooseFraming() {
    if ((m_status >= 100 && m_status < 200) || m_status == 204 || m_status == 304) {
        m_framing = Framing::None;
        return true;
    }
    if (const auto coding = Header("Transfer-Encoding")) {
        std::string last(TrimBlanks(coding->substr(coding->rfind(',') + 1)));
        m_framing = EqualNoCase(last, "chunked") ? Framing::Chunked : Framing::UntilClose;
        return true;
    }
    std::optional<long long> length;
    for (const auto& [key, value] : m_headers) {
        if (!EqualNoCase(key, "Content-Length")) {
            continue;
        }
        const auto parsed = ParseNumber<long long>(value, 10);
        if (!parsed || (length && *length != *parsed)) {
            return Fail("the server's answer has a malformed Content-Length");
        }
        length = parsed;
    }
    m_framing = length ? Framing::Length : Framing::UntilClose;
    m_left = length.value_or(0);
    return true;
}

CHttpResponseReader::HeadStep CHttpResponseReader::ReadHead() {
    const std::string_view unread = Unread();
    // The head ends at the first line end followed by an empty line. Only what came since
    // the last look is searched (but for a line end cut in two).
    std::size_t end = unread.find('\n', m_scanned > 2 ? m_scanned - 2 : 0);
    std::size_t skip = 0;
    for (; end != std::string_view::npos; end = unread.find('\n', end + 1)) {
        skip = unread.substr(end + 1, 1) == "\n" ? 2 : unread.substr(end + 1, 2) == "\r\n" ? 3 : 0;
        if (skip != 0) {
            break;
        }
    }
    m_scanned = unread.size();
    if (end == std::string_view::npos ? unread.size() > HEAD_MAX : end + 1 > HEAD_MAX) {
        Fail("the server's answer head is too long");
        return HeadStep::Failed;
    }
    if (end == std::string_view::npos) {
        return HeadStep::More;
    }
    const std::string_view head = unread.substr(0, end + 1);
    Consume(end + skip);
    if (!ParseHead(head) || !ChooseFraming()) {
        return HeadStep::Failed;
    }
    // An interim answer ("100 Continue") is followed by the real one.
    if (m_status < 200 && m_status != 101) {
        return HeadStep::Taken;
    }
    if (m_framing == Framing::Chunked) {
        m_state = State::ChunkSize;
    } else if (m_framing == Framing::None || (m_framing == Framing::Length && m_left == 0)) {
        m_state = State::Done;
    } else {
        m_state = State::Body;
    }
    return HeadStep::Taken;
}

bool CHttpResponseReader::StepBody(std::string& body) {
    const std::string_view unread = Unread();
    if (m_framing == Framing::UntilClose) {
        body += unread;
        Consume(unread.size());
        return false;
    }
    const std::size_t take = static_cast<std::size_t>(
        std::min<long long>(m_left, static_cast<long long>(unread.size())));
    body += unread.substr(0, take);
    Consume(take);
    m_left -= static_cast<long long>(take);
    if (m_left > 0) {
        return false;
    }
    m_state = m_framing == Framing::Chunked ? State::ChunkEnd : State::Done;
    return m_state != State::Done;
}

bool CHttpResponseReader::StepLine() {
    const auto line = TakeLine();
    if (!line) {
        const std::size_t room = m_state == State::ChunkEnd ? 1 : LINE_MAX;
        return Unread().size() > room && Fail("a chunk line is too long");
    }
    switch (m_state) {
    case State::ChunkEnd:
        m_state = State::ChunkSize;
        return line->empty() || Fail("a chunk does not end its line");
    case State::Trailer:
        m_trailerBytes += line->size() + 1;
        m_state = line->empty() ? State::Done : State::Trailer;
        return m_trailerBytes <= HEAD_MAX ? m_state != State::Done
                                          : Fail("the server's trailer is too long");
    default:
        break;
    }
    // The size in hex, maybe followed by extensions after a ';'.
    const std::string_view size = http::ChunkSizeDigits(*line);
    const auto parsed = size.size() <= 15 ? ParseNumber<long long>(size, 16) : std::nullopt;
    if (!parsed) {
        return Fail("the server's answer has a malformed chunk size");
    }
    m_left = *parsed;
    m_state = m_left == 0 ? State::Trailer : State::Body;
    return true;
}

bool CHttpResponseReader::Feed(std::string_view bytes, std::string& body) {
    if (m_state == State::Done || m_state == State::Failed) {
        return m_state == State::Done; // what follows the answer is not read
    }
    if (m_read > 0 && m_read >= m_pending.size() / 2) {
        m_pending.erase(0, m_read);
        m_read = 0;
    }
    m_pending.append(bytes);
    for (HeadStep step = HeadStep::Taken; m_state == State::Head && step == HeadStep::Taken;) {
        step = ReadHead();
        if (step == HeadStep::Failed) {
            return false;
        }
    }
    for (bool more = true; more;) {
        if (m_state == State::Body) {
            more = StepBody(body);
        } else {
            more = (m_state == State::ChunkSize || m_state == State::ChunkEnd ||
                    m_state == State::Trailer) &&
                   StepLine();
        }
    }
    return m_state != State::Failed;
}

bool CHttpResponseReader::Closed() {
    if (m_state == State::Body && m_framing == Framing::UntilClose) {
        m_state = State::Done;
    }
    return m_state == State::Done || Fail("the server closed the connection early");
}
