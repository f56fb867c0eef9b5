#pragma once
// A scriptable HTTP/1.1 server for tests and benchmarks.
//
// It listens on 127.0.0.1 only, on a free port the system picks, and serves
// from a thread of its own: it answers while the test's thread runs an event
// loop, and just as well while that thread blocks on a child process (curl,
// the program itself). Plain C++ and POSIX sockets; no Qt.
//
// The test sets a response per path (the request target with its query, as
// sent: "/page?x=1"). A path with no route gets "404 Not Found". Every request
// is logged with its method, target and headers.
//
// Each connection runs on its own thread and keeps serving requests (HTTP/1.1
// keep-alive) until the client closes it, a response ends it (Close, Reset,
// Stall), or the server stops. The destructor stops everything: stalled and
// paused connections end at once.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct HttpResponse {
    int status = 200;
    std::string reason = "OK";
    // Sent in this order, after the status line. Content-Length (or
    // Transfer-Encoding) is added by the server as `framing` says; any other
    // header the test wants, Content-Type included, goes here.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    enum class Framing {
        ContentLength, // "Content-Length: <size of body>"
        Chunked,       // "Transfer-Encoding: chunked", one chunk per piece
        CloseDelimited // no length; the server closes the connection after the body
    };
    Framing framing = Framing::ContentLength;

    // The body goes out in pieces of pieceSize bytes (0: in one write), with
    // `pause` between two pieces.
    std::size_t pieceSize = 0;
    std::chrono::milliseconds pause{0};

    // How the response ends:
    //   Complete: the whole body; the connection stays open for more requests
    //             (closed for CloseDelimited).
    //   Reset:    only the first `stopAfter` body bytes, then the connection is
    //             reset (RST, not an orderly close).
    //   Close:    only the first `stopAfter` body bytes, then an orderly close.
    //   Stall:    the first `stopAfter` body bytes (0: headers only), then
    //             nothing until the client gives up or the server stops.
    enum class Ending { Complete, Reset, Close, Stall };
    Ending ending = Ending::Complete;
    std::size_t stopAfter = 0;

    // Sent byte for byte instead of the status line, headers and body (a
    // reply that is not HTTP, or not whole; framing and pieces are not
    // used); then the ending applies, Complete closing the connection.
    std::optional<std::string> raw;

    // A response with a "text/html" body.
    static HttpResponse html(std::string body, int status = 200, std::string reason = "OK");
    // A "text/html" response whose body is `body` compressed with gzip, sent
    // with "Content-Encoding: <encoding>".
    static HttpResponse gzipped(const std::string &body, std::string encoding = "gzip");
    // A redirect to `location` (absolute or relative, sent as given).
    static HttpResponse redirect(std::string location, int status = 302, std::string reason = "Found");
};

struct HttpRequestRecord {
    std::string method;
    std::string target; // as sent, e.g. "/page?x=1"
    std::vector<std::pair<std::string, std::string>> headers;
};

class HttpTestServer {
public:
    HttpTestServer(); // throws std::runtime_error when it cannot listen
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by target (which starts with "/").
    std::string url(const std::string &target) const;

    // Sets (or replaces) the response for a target.
    void route(const std::string &target, HttpResponse response);

    // Every request so far, in order of arrival; the number for one target;
    // and forgetting them.
    std::vector<HttpRequestRecord> requests() const;
    std::size_t requestCount(const std::string &target) const;
    void clearRequests();

    // Blocks until at least `count` requests have arrived in total, or the
    // timeout passes; true when they have.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // A port on 127.0.0.1 on which nothing listens at the moment of return:
    // connecting to it is refused.
    static std::uint16_t refusedPort();

private:
    struct Connection;
    void acceptLoop();
    void serve(const std::shared_ptr<Connection> &connection);
    HttpResponse responseFor(const std::string &target) const;

    int listenFd_ = -1;
    int wakeRead_ = -1; // the read end becomes readable when the server stops
    int wakeWrite_ = -1;
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable requestArrived_;
    std::map<std::string, HttpResponse> routes_;
    std::vector<HttpRequestRecord> requests_;
    std::vector<std::shared_ptr<Connection>> connections_;
    std::thread acceptThread_;
};

} // namespace testsupport
