// Internet transfer: the stand-in for the Internet transfer control
// (InetCtlsObjects.Inet), an HTTP/1.1 client of its own over Qt's sockets
// (QTcpSocket, QSslSocket), reading every response as it arrives
// (HttpResponseReader). Qt Core and Network only; it lives on the thread
// that creates it and reports through its StateChanged signal on that
// thread.
//
// What it does:
// - One request at a time: Execute starts an HTTP GET of URL and returns at
//   once; StillExecuting is true from then until the request has ended.
// - The request ends in exactly one of two ways, each announced once by
//   StateChanged: icResponseCompleted (12), the whole body has arrived and
//   GetChunk hands it out; or icError (11), the request failed, ResponseCode
//   and ResponseInfo say why, and there is nothing to read. StillExecuting is
//   already false when either state is signalled.
// - A failure is: an address that is not a valid http or https address
//   (scheme compared without regard to case; other schemes, and none, are
//   refused); a host name that does not resolve; a refused or broken
//   connection (a body cut short by a reset or close counts, whether its
//   length was announced or it came in chunks); a secure connection that
//   cannot be set up (certificates are checked as the system's store says);
//   a final response with a status of 400 or above; more than MaxRedirects
//   redirects (so a redirect loop fails); a redirect to a less secure (https
//   to http) address or to another scheme; a reply that is not HTTP (no
//   status line, or a malformed one) or whose body's chunks are malformed;
//   a response header past its bounds (MaxHeaderLines lines,
//   MaxHeaderLineBytes in one, MaxHeaderBytes in all), at once, as the
//   header arrives; and RequestTimeout seconds in which nothing arrives (0:
//   no limit).
// - Redirects (301, 302, 303, 307, 308) are followed, at most MaxRedirects
//   (10) in a row.
// - The body is bytes exactly as the server sent them (after undoing a
//   transfer compression: gzip, x-gzip, deflate); no character set is
//   applied. A compressed body is never refused for how far it expands:
//   the caller bounds the body it takes (DataArrived counts decoded bytes).
// - Streaming: with StreamBody set before Execute, the body is not kept;
//   every piece is handed out by DataArrived as it arrives (after undoing a
//   transfer compression), and GetChunk has nothing to read after the
//   completion. Without it the whole body is kept for GetChunk.
// - Proxies named in the environment (http_proxy, https_proxy, all_proxy,
//   no_proxy) are used, never for loopback addresses: a plain request is
//   sent to an HTTP proxy whole, anything else goes through it as a tunnel.
//
// Other states signalled on the way, for information only: icConnecting (3)
// when a connection is being opened (again for every redirect),
// icRequestSent (6), icReceivingResponse (7) when the response's header has
// arrived. Nothing relies on their number or order.
#pragma once

#include "platform/inet/http_response_reader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <string>

class QTcpSocket;
class QTimer;

namespace platform {

// States of StateChanged, numbered as the platform's control numbers them.
enum StateConstants : short {
    icNone = 0,
    icHostResolvingHost = 1,
    icHostResolved = 2,
    icConnecting = 3,
    icConnected = 4,
    icRequesting = 5,
    icRequestSent = 6,
    icReceivingResponse = 7,
    icResponseReceived = 8,
    icDisconnecting = 9,
    icDisconnected = 10,
    icError = 11,
    icResponseCompleted = 12,
};

// Data types of GetChunk. Both give the same bytes: a string is never
// decoded here.
enum DataTypeConstants : short {
    icString = 0,
    icByteArray = 1,
};

// ResponseCode after a failure, numbered as the platform's Internet functions
// number their errors. A final status of 400 or above gives the status
// itself (404, 500 ...) instead.
inline constexpr long ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr long ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr long ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr long ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr long ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr long ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr long ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr long ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr long ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr long ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr long ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

class Inet : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(int RequestTimeout READ RequestTimeout WRITE setRequestTimeout)

public:
    static constexpr int DefaultRequestTimeout = 60; // seconds
    static constexpr int MaxRedirects = 10;
    // The bounds of a response's header.
    static constexpr int MaxHeaderLines = HttpResponseReader::MaxHeaderLines;
    static constexpr int MaxHeaderLineBytes = int(HttpResponseReader::MaxHeaderLineBytes);
    static constexpr int MaxHeaderBytes = int(HttpResponseReader::MaxHeaderBytes);

    explicit Inet(QObject *parent = nullptr);
    ~Inet() override; // a running request is abandoned without a signal

    // The address of the next request, kept exactly as set.
    QString URL() const { return url_; }
    void setURL(const QString &url) { url_ = url; }

    // Seconds without any data arriving after which a request fails
    // (connecting and waiting for the answer included); 0 for no limit.
    // Read when a request starts. Negative values count as 0.
    int RequestTimeout() const { return requestTimeout_; }
    void setRequestTimeout(int seconds) { requestTimeout_ = seconds < 0 ? 0 : seconds; }

    // Starts a request: url, when not empty, replaces URL first; operation
    // is "GET" (in any case), the only one offered. Returns at once.
    //
    // Returns false, starting nothing and leaving everything as it was, when
    // a request is still running. Otherwise the previous response and its
    // failure are forgotten, and it returns true when the request is under
    // way; false when it failed at once (an address or operation that cannot
    // be used), in which case StateChanged(icError) has already been
    // signalled from inside this call and StillExecuting is false.
    bool Execute(const QString &url = {}, const QString &operation = QStringLiteral("GET"));

    // True from a successful Execute until the request has ended.
    bool StillExecuting() const { return executing_; }

    // Ends a running request at once, as a failure (ERROR_INTERNET_OPERATION_
    // CANCELLED, "Cancelled") without signalling a state. Nothing happens when
    // no request runs.
    void Cancel();

    // The next at most `size` bytes of the completed response's body, and an
    // empty array when nothing is left (or size is not positive). Before the
    // response has completed, and after a failure, there is nothing to read.
    QByteArray GetChunk(qint64 size, DataTypeConstants dataType = icString);

    // After a failure: its number (see above) and its reason in words for the
    // user, such as "Host fennick.invalid not found", "HTTP 404 Not Found",
    // "Connection refused", "Timed out after 60 seconds", "Too many
    // redirects", "Unsupported scheme "gopher"", "No scheme (http:// or
    // https://) in the address". 0 and empty otherwise.
    long ResponseCode() const { return responseCode_; }
    QString ResponseInfo() const { return responseInfo_; }

    // The HTTP status of the last response received (after redirects), 0
    // when none arrived; known from icReceivingResponse on.
    int StatusCode() const { return statusCode_; }

    // The Content-Type header of the last response received (after
    // redirects), as sent; empty when none arrived or it had none.
    QByteArray ContentType() const { return contentType_; }

    // The address the last response received came from (after redirects),
    // as QUrl writes it; empty when none arrived.
    QString ResponseURL() const { return responseUrl_; }

    // The length the last response announced in Content-Length, or -1.
    qint64 AnnouncedLength() const { return announcedLength_; }
    // Whether the last response's body came compressed (so its announced
    // length counts the bytes before decompression).
    bool BodyEncoded() const { return encodedBody_; }

    // Redirects followed in a row before a request fails (read when a
    // request starts; MaxRedirects unless set).
    int RedirectLimit() const { return redirectLimit_; }
    void setMaxRedirects(int count) { redirectLimit_ = count < 0 ? 0 : count; }

    // Whether the next request hands out its body through DataArrived
    // instead of keeping it (read when a request starts).
    bool StreamBody() const { return streamBody_; }
    void setStreamBody(bool on) { streamBody_ = on; }

signals:
    void StateChanged(short state);
    // Streaming only: the next piece of the body, never empty. Emitted on the
    // way, before icResponseCompleted; a slot may Cancel the request.
    void DataArrived(const QByteArray &piece);

private:
    class GzipDecoder;
    QString notDecodedText() const;
    void fail(long code, const QString &info);
    void failFromReader();
    void restartTimer();
    // One request on a connection of its own; a redirect makes another.
    void request(const QUrl &address);
    void readResponse(QTcpSocket *socket);
    void connectionEnded(QTcpSocket *socket);
    void socketFailed(QTcpSocket *socket, QAbstractSocket::SocketError error);
    // The response's header has arrived: false when the request has ended
    // or gone on elsewhere (a failure, a redirect, a slot's Cancel).
    bool takeHead();
    // A piece of the body: false when the request has ended.
    bool takeBody(const std::string &bytes);
    void complete();
    void closeConnection();

    QString url_;
    int requestTimeout_ = DefaultRequestTimeout;
    int runningTimeout_ = DefaultRequestTimeout;
    QTimer *timer_ = nullptr;
    QTcpSocket *socket_ = nullptr; // the running request's connection
    std::unique_ptr<HttpResponseReader> reader_;
    QUrl currentUrl_;
    bool requestSentSignalled_ = false;
    bool executing_ = false;
    bool completed_ = false;
    QByteArray body_;
    qint64 readPosition_ = 0;
    bool streamBody_ = false;
    int redirectLimit_ = MaxRedirects;
    int redirectLimitRunning_ = MaxRedirects;
    int redirectsFollowed_ = 0;
    bool streaming_ = false;
    QByteArray contentType_;
    QString responseUrl_;
    qint64 announcedLength_ = -1;
    // Body bytes as they came off the wire, before any decompression.
    bool encodedBody_ = false;
    QByteArray encoding_; // Content-Encoding as sent
    std::unique_ptr<GzipDecoder> decoder_;
    qint64 receivedBytes_ = 0;
    long responseCode_ = 0;
    QString responseInfo_;
    int statusCode_ = 0;
};

} // namespace platform
