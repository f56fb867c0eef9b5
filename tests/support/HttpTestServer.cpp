#include "support/HttpTestServer.h"

#include <zlib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace testsupport {

namespace {

std::string lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string trim(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

HttpResponse HttpResponse::gzipped(const std::string &body, std::string encoding)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("gzip: cannot start");
    std::string packed(deflateBound(&stream, uLong(body.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
    stream.avail_in = uInt(body.size());
    stream.next_out = reinterpret_cast<Bytef *>(packed.data());
    stream.avail_out = uInt(packed.size());
    const int result = deflate(&stream, Z_FINISH);
    packed.resize(packed.size() - stream.avail_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("gzip: cannot compress");
    HttpResponse response = html(std::move(packed));
    response.headers.emplace_back("Content-Encoding", std::move(encoding));
    return response;
}

HttpResponse HttpResponse::html(std::string body, int status, std::string reason)
{
    HttpResponse response;
    response.status = status;
    response.reason = std::move(reason);
    response.headers = {{"Content-Type", "text/html"}};
    response.body = std::move(body);
    return response;
}

HttpResponse HttpResponse::redirect(std::string location, int status, std::string reason)
{
    HttpResponse response;
    response.status = status;
    response.reason = std::move(reason);
    response.headers = {{"Location", std::move(location)}};
    return response;
}

// One accepted connection. Its thread serves it; the fd is closed by that
// thread (so a reset is a real RST), under `lock`, so that the server's
// shutdown never touches a number the system has handed out again.
struct HttpTestServer::Connection {
    std::mutex lock;
    int fd = -1;
    std::thread thread;

    void shutdownNow()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
    }
    void close(bool reset)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (fd < 0)
            return;
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(fd);
        fd = -1;
    }
};

HttpTestServer::HttpTestServer()
{
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0)
        throw std::runtime_error("HttpTestServer: pipe failed");
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (listenFd_ >= 0)
            ::close(listenFd_);
        ::close(wakeRead_);
        ::close(wakeWrite_);
        throw std::runtime_error("HttpTestServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

HttpTestServer::~HttpTestServer()
{
    // The pipe's read end stays readable from now on: every wait wakes.
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &stop, 1);
    acceptThread_.join();
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        connections = connections_;
    }
    for (const auto &connection : connections)
        connection->shutdownNow(); // unblocks a send to a client that does not read
    for (const auto &connection : connections) {
        connection->thread.join();
        connection->close(false);
    }
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

std::string HttpTestServer::url(const std::string &target) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

void HttpTestServer::route(const std::string &target, HttpResponse response)
{
    std::lock_guard<std::mutex> guard(mutex_);
    routes_[target] = std::move(response);
}

std::vector<HttpRequestRecord> HttpTestServer::requests() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
}

std::size_t HttpTestServer::requestCount(const std::string &target) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                  [&](const HttpRequestRecord &r) { return r.target == target; }));
}

void HttpTestServer::clearRequests()
{
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.clear();
}

bool HttpTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> guard(mutex_);
    return requestArrived_.wait_for(guard, timeout, [&] { return requests_.size() >= count; });
}

std::uint16_t HttpTestServer::refusedPort()
{
    // Bound but never listening: the port is taken, so nothing else gets it
    // while this process lives, yet a connection to it is refused. The fd is
    // kept open on purpose for the rest of the run.
    static const std::uint16_t port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("HttpTestServer: no port for a refused connection");
        return ntohs(address.sin_port);
    }();
    return port;
}

HttpResponse HttpTestServer::responseFor(const std::string &target) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    const auto found = routes_.find(target);
    if (found != routes_.end())
        return found->second;
    return HttpResponse::html("<html><body>Not Found</body></html>", 404, "Not Found");
}

void HttpTestServer::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::lock_guard<std::mutex> guard(mutex_);
        connections_.push_back(connection);
        connection->thread = std::thread([this, connection] { serve(connection); });
    }
}

void HttpTestServer::serve(const std::shared_ptr<Connection> &connection)
{
    const int fd = connection->fd; // only this thread closes it
    std::string pending;

    // Waits up to timeoutMs (-1: for ever) for fd to become readable; false
    // when the server stops first or the time passes.
    auto waitReadable = [&](int timeoutMs) {
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            const int n = ::poll(fds, 2, timeoutMs);
            if (n < 0 && errno == EINTR)
                continue;
            return n > 0 && fds[1].revents == 0 && fds[0].revents != 0;
        }
    };
    // Sleeps for the pause; false when the server stops first.
    auto pauseFor = [&](std::chrono::milliseconds pause) {
        pollfd wake{wakeRead_, POLLIN, 0};
        return ::poll(&wake, 1, static_cast<int>(pause.count())) == 0;
    };
    auto sendAll = [&](const char *data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    };
    // Reads more into `pending`; false at the end of the stream or on stop.
    auto readMore = [&] {
        if (!waitReadable(-1))
            return false;
        char buffer[16384];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(n));
        return true;
    };

    for (;;) {
        // The request line and headers.
        std::size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos)
            if (!readMore()) {
                connection->close(false);
                return;
            }
        const std::string head = pending.substr(0, end);
        pending.erase(0, end + 4);

        HttpRequestRecord request;
        std::size_t lineEnd = head.find("\r\n");
        const std::string requestLine = head.substr(0, lineEnd);
        const std::size_t space1 = requestLine.find(' ');
        const std::size_t space2 = requestLine.find(' ', space1 + 1);
        request.method = requestLine.substr(0, space1);
        if (space1 != std::string::npos)
            request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
        std::size_t contentLength = 0;
        bool clientCloses = false;
        while (lineEnd != std::string::npos) {
            const std::size_t start = lineEnd + 2;
            lineEnd = head.find("\r\n", start);
            const std::string line =
                head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::string name = line.substr(0, colon);
            std::string value = trim(line.substr(colon + 1));
            if (lower(name) == "content-length")
                contentLength = static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
            if (lower(name) == "connection" && lower(value) == "close")
                clientCloses = true;
            request.headers.emplace_back(std::move(name), std::move(value));
        }
        // A request body is read and dropped.
        while (pending.size() < contentLength)
            if (!readMore()) {
                connection->close(false);
                return;
            }
        pending.erase(0, contentLength);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            requests_.push_back(request);
        }
        requestArrived_.notify_all();

        const HttpResponse response = responseFor(request.target);
        using Framing = HttpResponse::Framing;
        using Ending = HttpResponse::Ending;

        std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
        for (const auto &[name, value] : response.headers)
            out += name + ": " + value + "\r\n";
        if (response.framing == Framing::ContentLength)
            out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
        else if (response.framing == Framing::Chunked)
            out += "Transfer-Encoding: chunked\r\n";
        if (response.framing == Framing::CloseDelimited || clientCloses)
            out += "Connection: close\r\n";
        out += "\r\n";
        if (response.raw)
            out = *response.raw;

        const std::size_t bodyBytes = response.raw ? 0
                                      : response.ending == Ending::Complete
                                          ? response.body.size()
                                          : std::min(response.stopAfter, response.body.size());
        const std::size_t piece = response.pieceSize == 0 ? std::max<std::size_t>(bodyBytes, 1) : response.pieceSize;
        bool ok = true;
        if (response.pieceSize == 0 && response.framing != Framing::Chunked) {
            // Headers and body in one go: the fast road for large bodies.
            out.append(response.body, 0, bodyBytes);
            ok = sendAll(out.data(), out.size());
        } else {
            ok = sendAll(out.data(), out.size());
            for (std::size_t at = 0; ok && at < bodyBytes; at += piece) {
                if (at > 0 && response.pause.count() > 0 && !pauseFor(response.pause)) {
                    ok = false;
                    break;
                }
                const std::size_t size = std::min(piece, bodyBytes - at);
                if (response.framing == Framing::Chunked) {
                    char sizeLine[32];
                    std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", size);
                    std::string chunk = sizeLine + response.body.substr(at, size) + "\r\n";
                    ok = sendAll(chunk.data(), chunk.size());
                } else {
                    ok = sendAll(response.body.data() + at, size);
                }
            }
            if (ok && response.ending == Ending::Complete && response.framing == Framing::Chunked)
                ok = sendAll("0\r\n\r\n", 5);
        }
        if (!ok) {
            connection->close(false);
            return;
        }

        switch (response.ending) {
        case Ending::Reset: connection->close(true); return;
        case Ending::Close: connection->close(false); return;
        case Ending::Stall:
            // Whatever the client sends now is ignored; the end of its stream
            // or the server's stop ends the stall.
            while (waitReadable(-1)) {
                char sink[4096];
                if (::recv(fd, sink, sizeof sink, 0) <= 0)
                    break;
            }
            connection->close(false);
            return;
        case Ending::Complete:
            if (response.raw || response.framing == Framing::CloseDelimited || clientCloses) {
                connection->close(false);
                return;
            }
            break;
        }
    }
}

} // namespace testsupport
