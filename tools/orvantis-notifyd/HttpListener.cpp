// SPDX-License-Identifier: MIT
#include "HttpListener.h"

#include "TextRules.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting connection looks at the stop flag.
constexpr int POLL_SLICE_MS = 100;
constexpr int LISTEN_BACKLOG = 1024;
constexpr std::size_t READ_CHUNK = 4096;
constexpr std::size_t MAX_CHUNK_LINE = 1024;
constexpr std::size_t MAX_DRAINED = 256 * 1024;
constexpr std::chrono::milliseconds DRAIN_TIME{1000};

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

int PollSlice(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, POLL_SLICE_MS));
}

std::string PeerAddress(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    char text[INET6_ADDRSTRLEN] = {};
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return "?";
    }
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address)->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

// The bytes of one connection, read as they are needed, each wait bounded by a deadline
// and by the stop flag.
class Connection final {
public:
    Connection(int fd, const std::atomic<bool>& stop) : m_fd(fd), m_stop(stop) {}

    std::string& Buffer() { return m_buffer; }
    bool TimedOut() const { return m_timedOut; }

    // Adds what arrives before the deadline; false on the end of the stream, an error,
    // the deadline (TimedOut()) or a stop.
    bool Fill(Clock::time_point deadline) {
        while (!m_stop.load()) {
            pollfd ready{m_fd, POLLIN, 0};
            const int n = poll(&ready, 1, PollSlice(deadline));
            if (n < 0 && errno != EINTR) {
                return false;
            }
            if (n > 0) {
                char chunk[READ_CHUNK];
                const ssize_t got = recv(m_fd, chunk, sizeof chunk, 0);
                if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                    continue;
                }
                if (got <= 0) {
                    return false;
                }
                m_buffer.append(chunk, static_cast<std::size_t>(got));
                return true;
            }
            if (Clock::now() >= deadline) {
                m_timedOut = true;
                return false;
            }
        }
        return false;
    }

    // Until at least size bytes are buffered.
    bool FillTo(std::size_t size, Clock::time_point deadline) {
        while (m_buffer.size() < size) {
            if (!Fill(deadline)) {
                return false;
            }
        }
        return true;
    }

    // One line (without its CR LF or LF) from the buffer, reading as needed; nullopt when
    // it does not come or grows beyond maxLine.
    std::optional<std::string> Line(std::size_t maxLine, Clock::time_point deadline) {
        std::size_t end;
        while ((end = m_buffer.find('\n')) == std::string::npos) {
            if (m_buffer.size() > maxLine || !Fill(deadline)) {
                return std::nullopt;
            }
        }
        std::string line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        return line;
    }

    // After a refusal: what the client still sends is read and dropped for a moment, so
    // that closing with unread bytes does not reset the connection before the client has
    // read the answer.
    void DrainAndClose(Clock::time_point deadline) {
        shutdown(m_fd, SHUT_WR);
        std::size_t dropped = 0;
        while (dropped < MAX_DRAINED && Fill(deadline)) {
            dropped += m_buffer.size();
            m_buffer.clear();
        }
    }

    bool Write(const std::string& bytes, Clock::time_point deadline) {
        std::size_t done = 0;
        while (done < bytes.size() && !m_stop.load()) {
            pollfd ready{m_fd, POLLOUT, 0};
            const int n = poll(&ready, 1, PollSlice(deadline));
            if (n < 0 && errno != EINTR) {
                return false;
            }
            if (n > 0) {
                const ssize_t sent =
                    send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
                if (sent < 0 && (errno == EINTR || errno == EAGAIN)) {
                    continue;
                }
                if (sent <= 0) {
                    return false;
                }
                done += static_cast<std::size_t>(sent);
            } else if (Clock::now() >= deadline) {
                return false;
            }
        }
        return done == bytes.size();
    }

private:
    int m_fd;
    const std::atomic<bool>& m_stop;
    std::string m_buffer;
    bool m_timedOut = false;
};

// What the head of a request says about its body and its connection.
struct Head {
    std::string method;
    std::string path;
    std::string version;
    std::string contentType;
    std::optional<std::string> contentLength;
    std::optional<std::string> transferEncoding;
    std::string connection;
    bool expectContinue = false;
};

// The request line and header lines; 0 when they are usable, else the status to answer.
int ParseHead(std::string_view text, std::size_t maxHeaderLines, Head& head) {
    std::size_t lineEnd = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, lineEnd);
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    const std::size_t firstSpace = line.find(' ');
    const std::size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace) {
        return 400;
    }
    head.method = std::string(line.substr(0, firstSpace));
    const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    head.path = std::string(target.substr(0, std::min(target.find('?'), target.size())));
    head.version = std::string(line.substr(lastSpace + 1));
    if (head.version != "HTTP/1.1" && head.version != "HTTP/1.0") {
        return head.version.starts_with("HTTP/") ? 505 : 400;
    }
    std::size_t lines = 0;
    for (std::size_t pos = lineEnd + 1; pos < text.size(); pos = lineEnd + 1) {
        lineEnd = std::min(text.find('\n', pos), text.size());
        line = text.substr(pos, lineEnd - pos);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        if (++lines > maxHeaderLines) {
            return 431;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return 400;
        }
        const std::string name = LowerAscii(line.substr(0, colon));
        std::string value(TrimBlanks(line.substr(colon + 1)));
        if (name == "content-type") {
            head.contentType = value;
        } else if (name == "content-length" || name == "transfer-encoding") {
            auto& field = name == "content-length" ? head.contentLength : head.transferEncoding;
            if (field && *field != value) {
                return 400; // two that disagree: no guessing which one a proxy used
            }
            field = value;
        } else if (name == "connection") {
            head.connection = LowerAscii(value);
        } else if (name == "expect") {
            head.expectContinue = LowerAscii(value) == "100-continue";
        }
    }
    return 0;
}

enum class BodyResult { Read, TooLarge, Bad, Lost };

BodyResult ReadChunked(Connection& connection, std::size_t maxBody, Clock::time_point deadline,
                       std::string& body) {
    while (true) {
        const std::optional<std::string> sizeLine = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!sizeLine) {
            return BodyResult::Lost;
        }
        const std::string_view digits =
            TrimBlanks(std::string_view(*sizeLine).substr(0, sizeLine->find(';')));
        std::size_t size = 0;
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
        if (digits.empty() || parsed.ec != std::errc() ||
            parsed.ptr != digits.data() + digits.size()) {
            return BodyResult::Bad;
        }
        if (size == 0) {
            break;
        }
        if (size > maxBody - body.size()) {
            return BodyResult::TooLarge;
        }
        if (!connection.FillTo(size, deadline)) {
            return BodyResult::Lost;
        }
        body.append(connection.Buffer(), 0, size);
        connection.Buffer().erase(0, size);
        const std::optional<std::string> end = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!end || !end->empty()) {
            return end ? BodyResult::Bad : BodyResult::Lost;
        }
    }
    for (std::size_t trailers = 0;; ++trailers) {
        const std::optional<std::string> line = connection.Line(MAX_CHUNK_LINE, deadline);
        if (!line || trailers > 16) {
            return line ? BodyResult::Bad : BodyResult::Lost;
        }
        if (line->empty()) {
            return BodyResult::Read;
        }
    }
}

// The end of the head (its empty line) in the buffer, and where the body starts.
std::optional<std::pair<std::size_t, std::size_t>> FindHeadEnd(const std::string& buffer) {
    const std::size_t crlf = buffer.find("\r\n\r\n");
    const std::size_t lf = buffer.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) {
        return std::nullopt;
    }
    if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
        return std::make_pair(crlf, crlf + 4);
    }
    return std::make_pair(lf, lf + 2);
}

std::string AnswerBytes(const HttpAnswer& answer, bool keepAlive) {
    std::string bytes =
        "HTTP/1.1 " + std::to_string(answer.status) + " " + ReasonPhrase(answer.status) + "\r\n";
    bytes += "Content-Type: text/plain; charset=utf-8\r\n";
    bytes += "Content-Length: " + std::to_string(answer.text.size()) + "\r\n";
    if (!keepAlive) {
        bytes += "Connection: close\r\n";
    }
    for (const auto& [name, value] : answer.headers) {
        bytes += name + ": " + value + "\r\n";
    }
    return bytes + "\r\n" + answer.text;
}

HttpAnswer Refusal(int status, const char* text) {
    return {status, std::string(ReasonPhrase(status)) + ": " + text + "\n", {}};
}

} // namespace

HttpListener::HttpListener(std::string path, Handler handler, Logger refused, Limits limits)
    : m_path(std::move(path)), m_handler(std::move(handler)), m_refused(std::move(refused)),
      m_limits(limits), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_pool(limits.maxThreads, limits.waitingConnections) {}

HttpListener::~HttpListener() {
    Stop();
    m_pool.Shutdown();
    if (m_listenFd >= 0) {
        close(m_listenFd);
    }
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

int HttpListener::Bind(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return -1;
    }
    for (addrinfo* candidate = found; candidate != nullptr && m_listenFd < 0;
         candidate = candidate->ai_next) {
        const int fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                              candidate->ai_protocol);
        if (fd < 0) {
            continue;
        }
        // Only SO_REUSEADDR, never SO_REUSEPORT: a second copy must not share the port.
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) == 0 &&
            listen(fd, LISTEN_BACKLOG) == 0) {
            m_listenFd = fd;
        } else {
            close(fd);
        }
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (m_listenFd < 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        return -1;
    }
    return ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

void HttpListener::Stop() {
    m_stop.store(true);
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0 && write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full only if it was woken already.
    }
}

void HttpListener::Run() {
    struct Silent {
        int fd;
        Clock::time_point deadline;
    };
    std::vector<Silent> silent;
    std::vector<pollfd> watched;
    while (!m_stop.load() && m_listenFd >= 0) {
        // While too many wait silently, new connections stay in the kernel's backlog.
        const bool accepting = silent.size() < m_limits.silentConnections;
        watched.assign({{m_wakeFd, POLLIN, 0}, {accepting ? m_listenFd : -1, POLLIN, 0}});
        Clock::time_point wakeAt = Clock::time_point::max();
        for (const Silent& connection : silent) {
            watched.push_back({connection.fd, POLLIN, 0});
            wakeAt = std::min(wakeAt, connection.deadline);
        }
        const int timeout =
            silent.empty()
                ? -1
                : static_cast<int>(std::max<long long>(
                      1,
                      std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - Clock::now())
                          .count()));
        if (poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) {
            break;
        }
        if (m_stop.load()) {
            break;
        }
        // Those that spoke (or hung up) go to a thread; those silent too long are closed.
        const auto now = Clock::now();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < silent.size(); ++i) {
            const int fd = silent[i].fd;
            if (watched[i + 2].revents != 0) {
                if (!m_pool.Submit([this, fd] { Serve(fd); })) {
                    close(fd);
                }
            } else if (now >= silent[i].deadline) {
                close(fd);
            } else {
                silent[kept++] = silent[i];
            }
        }
        silent.resize(kept);
        if ((watched[1].revents & POLLIN) != 0) {
            const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                int yes = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                silent.push_back({fd, now + m_limits.firstByte});
            } else if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: let connections end before taking more.
                poll(nullptr, 0, POLL_SLICE_MS);
            }
        }
    }
    for (const Silent& connection : silent) {
        close(connection.fd);
    }
    m_pool.Shutdown();
}

void HttpListener::Serve(int fd) {
    Connection connection(fd, m_stop);
    HttpRequest request;
    request.remoteAddress = PeerAddress(fd);
    const auto refuse = [&](int status, const char* text) {
        m_refused(request, status, text);
        if (connection.Write(AnswerBytes(Refusal(status, text), false),
                             Clock::now() + m_limits.answer)) {
            connection.DrainAndClose(Clock::now() + DRAIN_TIME);
        }
    };
    for (std::size_t served = 0; served < m_limits.requestsPerConnection; ++served) {
        std::string& buffer = connection.Buffer();
        // A connection that says nothing (more) is closed without a word.
        if (buffer.empty() && !connection.Fill(Clock::now() + m_limits.keepAlive)) {
            break;
        }
        const auto deadline = Clock::now() + m_limits.wholeRequest;
        std::optional<std::pair<std::size_t, std::size_t>> headEnd;
        while (!(headEnd = FindHeadEnd(buffer)) && buffer.size() <= m_limits.maxHead &&
               connection.Fill(deadline)) {
        }
        if (!headEnd || headEnd->first > m_limits.maxHead) {
            if (connection.TimedOut()) {
                refuse(408, "the request took too long");
            } else if (buffer.size() > m_limits.maxHead) {
                refuse(431, "request head over 8 KiB");
            }
            break;
        }
        Head head;
        const int headStatus = ParseHead(std::string_view(buffer).substr(0, headEnd->first),
                                         m_limits.maxHeaderLines, head);
        buffer.erase(0, headEnd->second);
        request.method = head.method;
        request.path = head.path;
        request.contentType = head.contentType;
        request.body.clear();
        if (headStatus != 0) {
            refuse(headStatus, headStatus == 431 ? "too many header lines" : "malformed head");
            break;
        }
        // Unknown paths and methods are answered at once; their body is not read.
        if (head.path != m_path) {
            refuse(404, "no such path");
            break;
        }
        if (head.method != "POST") {
            refuse(405, "only POST");
            break;
        }
        const bool chunked =
            head.transferEncoding && LowerAscii(*head.transferEncoding) == "chunked";
        if ((head.transferEncoding && !chunked) || (chunked && head.contentLength)) {
            refuse(400, "unusable body framing");
            break;
        }
        std::size_t length = 0;
        if (head.contentLength) {
            const std::string& digits = *head.contentLength;
            const auto parsed =
                std::from_chars(digits.data(), digits.data() + digits.size(), length);
            if (digits.empty() || parsed.ec != std::errc() ||
                parsed.ptr != digits.data() + digits.size()) {
                refuse(400, "bad Content-Length");
                break;
            }
            if (length > m_limits.maxBody) {
                refuse(413, "body over 64 KiB");
                break;
            }
        }
        if (head.expectContinue && !connection.Write("HTTP/1.1 100 Continue\r\n\r\n", deadline)) {
            break;
        }
        BodyResult body = BodyResult::Read;
        if (chunked) {
            body = ReadChunked(connection, m_limits.maxBody, deadline, request.body);
        } else if (connection.FillTo(length, deadline)) {
            request.body = buffer.substr(0, length);
            buffer.erase(0, length);
        } else {
            body = BodyResult::Lost;
        }
        if (body != BodyResult::Read) {
            if (body == BodyResult::TooLarge) {
                refuse(413, "body over 64 KiB");
            } else if (body == BodyResult::Bad) {
                refuse(400, "bad chunked body");
            } else if (connection.TimedOut()) {
                refuse(408, "the request took too long");
            }
            break;
        }
        const bool keepAlive = head.version == "HTTP/1.1" ? head.connection != "close"
                                                          : head.connection == "keep-alive";
        const bool last = !keepAlive || served + 1 == m_limits.requestsPerConnection;
        if (!connection.Write(AnswerBytes(m_handler(request), !last),
                              Clock::now() + m_limits.answer) ||
            last) {
            break;
        }
    }
    close(fd);
}
