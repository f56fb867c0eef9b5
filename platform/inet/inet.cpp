#include "platform/inet/inet.h"

#include "platform/inet/http_response_reader.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace platform {

namespace {

// The environment's proxies, except for the machine itself.
class EnvironmentProxies : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.peerHostName();
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

QString timedOutText(int seconds)
{
    return seconds == 1 ? QStringLiteral("Timed out after 1 second")
                        : QStringLiteral("Timed out after %1 seconds").arg(seconds);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

// A compressed body (gzip, its older name x-gzip, or deflate in zlib's
// wrapping), decoded piece by piece. Members one after the other are
// decoded as one body, as gzip does.
class Inet::GzipDecoder {
public:
    explicit GzipDecoder(bool gzip) { ok_ = inflateInit2(&stream_, (gzip ? 16 : 32) + MAX_WBITS) == Z_OK; }
    ~GzipDecoder() { inflateEnd(&stream_); }
    GzipDecoder(const GzipDecoder &) = delete;
    GzipDecoder &operator=(const GzipDecoder &) = delete;

    // Decodes `input`, handing the output to `out` in pieces of at most
    // OutputPiece bytes; `out` returns false to stop. False when the data
    // is not gzip (or decoding was stopped).
    template <typename Out>
    bool feed(const QByteArray &input, Out &&out)
    {
        if (!ok_)
            return false;
        fed_ = fed_ || !input.isEmpty();
        stream_.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
        stream_.avail_in = uInt(input.size());
        while (stream_.avail_in > 0) {
            if (ended_) {
                // Another member follows the one that ended.
                if (inflateReset(&stream_) != Z_OK)
                    return ok_ = false;
                ended_ = false;
            }
            QByteArray piece(OutputPiece, Qt::Uninitialized);
            stream_.next_out = reinterpret_cast<Bytef *>(piece.data());
            stream_.avail_out = uInt(piece.size());
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return ok_ = false;
            ended_ = result == Z_STREAM_END;
            piece.resize(piece.size() - qsizetype(stream_.avail_out));
            if (!piece.isEmpty() && !out(piece))
                return false;
            if (result == Z_BUF_ERROR && stream_.avail_in > 0)
                return ok_ = false;
        }
        return true;
    }

    // Whether everything fed so far is whole compressed data (or nothing).
    bool complete() const { return ok_ && (ended_ || !fed_); }

private:
    static constexpr qsizetype OutputPiece = 64 * 1024;
    z_stream stream_{};
    bool ok_ = false;
    bool ended_ = false;
    bool fed_ = false;
};

Inet::Inet(QObject *parent) : QObject(parent), timer_(new QTimer(this)), reader_(std::make_unique<HttpResponseReader>())
{
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer); // never before the time is up
    connect(timer_, &QTimer::timeout, this, [this] {
        if (executing_)
            fail(ERROR_INTERNET_TIMEOUT, timedOutText(runningTimeout_));
    });
}

Inet::~Inet()
{
    closeConnection();
}

QString Inet::notDecodedText() const
{
    return QStringLiteral("Decompression failed: the body is not valid %1 data").arg(QString::fromLatin1(encoding_));
}

bool Inet::Execute(const QString &url, const QString &operation)
{
    if (executing_)
        return false;
    if (!url.isEmpty())
        url_ = url;
    body_.clear();
    readPosition_ = 0;
    completed_ = false;
    responseCode_ = 0;
    responseInfo_.clear();
    statusCode_ = 0;
    contentType_.clear();
    responseUrl_.clear();
    announcedLength_ = -1;
    encodedBody_ = false;
    encoding_.clear();
    decoder_.reset();
    receivedBytes_ = 0;
    redirectsFollowed_ = 0;
    streaming_ = streamBody_;

    if (operation.compare(QLatin1String("GET"), Qt::CaseInsensitive) != 0) {
        fail(ERROR_INTERNET_INTERNAL_ERROR, QStringLiteral("Unsupported operation %1").arg(operation));
        return false;
    }
    const QUrl address(url_);
    const QString scheme = address.scheme().toLower();
    if (scheme.isEmpty()) {
        fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, QStringLiteral("No scheme (http:// or https://) in the address"));
        return false;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, QStringLiteral("Unsupported scheme \"%1\"").arg(address.scheme()));
        return false;
    }
    if (!address.isValid() || address.host().isEmpty()) {
        fail(ERROR_INTERNET_INVALID_URL, QStringLiteral("Not a valid address"));
        return false;
    }

    executing_ = true;
    runningTimeout_ = requestTimeout_;
    redirectLimitRunning_ = redirectLimit_;
    request(address);
    return true;
}

void Inet::request(const QUrl &address)
{
    closeConnection();
    *reader_ = HttpResponseReader();
    currentUrl_ = address;
    requestSentSignalled_ = false;
    const bool secure = address.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(address.port(secure ? 443 : 80));

    // A plain request through an HTTP proxy names the whole address to it;
    // anything else goes through a proxy as a tunnel.
    EnvironmentProxies proxies;
    const QList<QNetworkProxy> found = proxies.queryProxy(QNetworkProxyQuery(address));
    const QNetworkProxy proxy = found.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : found.first();
    const bool viaHttpProxy = proxy.type() == QNetworkProxy::HttpProxy && !secure;

    QTcpSocket *socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    socket_ = socket;
    if (viaHttpProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        socket->setProxy(QNetworkProxy::NoProxy);
    else
        socket->setProxy(proxy);

    QByteArray target = viaHttpProxy
                            ? address.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment)
                            : address.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/') && !viaHttpProxy)
        target.prepend('/');
    QByteArray message = "GET " + target + " HTTP/1.1\r\nHost: " +
                         address.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() + "\r\n";
    const QString program = QCoreApplication::applicationName();
    if (!program.isEmpty()) {
        QString agent = program;
        if (!QCoreApplication::applicationVersion().isEmpty())
            agent += QLatin1Char('/') + QCoreApplication::applicationVersion();
        message += "User-Agent: " + agent.toUtf8() + "\r\n";
    }
    if (viaHttpProxy && !proxy.user().isEmpty())
        message += "Proxy-Authorization: Basic " +
                   (proxy.user() + QLatin1Char(':') + proxy.password()).toUtf8().toBase64() + "\r\n";
    message += "Accept-Encoding: gzip, deflate\r\n\r\n";

    auto send = [this, socket, message] {
        restartTimer();
        socket->write(message);
    };
    if (secure)
        connect(static_cast<QSslSocket *>(socket), &QSslSocket::encrypted, this, send);
    else
        connect(socket, &QAbstractSocket::connected, this, send);
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
        restartTimer();
        if (!requestSentSignalled_ && socket->bytesToWrite() == 0) {
            requestSentSignalled_ = true;
            emit StateChanged(icRequestSent);
        }
    });
    connect(socket, &QIODevice::readyRead, this, [this, socket] { readResponse(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { connectionEnded(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) { socketFailed(socket, error); });

    restartTimer();
    emit StateChanged(icConnecting);
    if (socket_ != socket)
        return; // a slot ended the request
    const QString host = viaHttpProxy ? proxy.hostName() : address.host();
    const quint16 hostPort = viaHttpProxy ? proxy.port() : port;
    if (secure)
        static_cast<QSslSocket *>(socket)->connectToHostEncrypted(host, hostPort);
    else
        socket->connectToHost(host, hostPort);
}

void Inet::readResponse(QTcpSocket *socket)
{
    if (socket != socket_)
        return;
    restartTimer();
    const QByteArray bytes = socket->readAll();
    std::string_view data(bytes.constData(), std::size_t(bytes.size()));
    while (!data.empty() && socket == socket_) {
        std::string body;
        data.remove_prefix(reader_->read(data, &body));
        if (reader_->failure() != HttpResponseReader::Failure::None) {
            failFromReader();
            return;
        }
        if (reader_->takeHeadArrived() && !takeHead())
            return;
        if (!body.empty() && !takeBody(body))
            return;
        if (reader_->complete()) {
            complete();
            return;
        }
    }
}

void Inet::connectionEnded(QTcpSocket *socket)
{
    if (socket != socket_)
        return;
    if (socket->bytesAvailable() > 0) {
        readResponse(socket);
        if (socket != socket_)
            return;
    }
    reader_->connectionEnded();
    if (reader_->complete())
        complete();
    else
        failFromReader();
}

void Inet::socketFailed(QTcpSocket *socket, QAbstractSocket::SocketError error)
{
    if (socket != socket_)
        return;
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        fail(ERROR_INTERNET_NAME_NOT_RESOLVED, QStringLiteral("Host %1 not found").arg(currentUrl_.host()));
        return;
    case QAbstractSocket::ConnectionRefusedError:
        fail(ERROR_INTERNET_CANNOT_CONNECT, QStringLiteral("Connection refused"));
        return;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
             QStringLiteral("Secure connection failed: %1").arg(socket->errorString()));
        return;
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::NetworkError:
        // A close or a reset: the response decides whether it was whole.
        connectionEnded(socket);
        return;
    default: {
        QString text = socket->errorString().trimmed();
        fail(ERROR_INTERNET_INTERNAL_ERROR, text.isEmpty() ? QStringLiteral("The transfer failed") : text);
        return;
    }
    }
}

bool Inet::takeHead()
{
    statusCode_ = reader_->status();
    if (isRedirect(statusCode_) && reader_->hasHeader("Location")) {
        const QUrl next =
            currentUrl_.resolved(QUrl::fromEncoded(QByteArray::fromStdString(reader_->header("Location"))));
        const QString scheme = next.scheme().toLower();
        if (redirectsFollowed_ >= redirectLimitRunning_)
            fail(ERROR_HTTP_REDIRECT_FAILED, QStringLiteral("Too many redirects"));
        else if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, QStringLiteral("Redirect to an unsupported scheme"));
        else if (scheme == QLatin1String("http") &&
                 currentUrl_.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
            fail(ERROR_HTTP_REDIRECT_FAILED, QStringLiteral("Redirect to a less secure address refused"));
        else if (!next.isValid() || next.host().isEmpty())
            fail(ERROR_HTTP_REDIRECT_FAILED, QStringLiteral("Redirect to an address that is not valid"));
        else {
            ++redirectsFollowed_;
            request(next);
        }
        return false;
    }
    contentType_ = QByteArray::fromStdString(reader_->header("Content-Type"));
    responseUrl_ = currentUrl_.toString();
    announcedLength_ = reader_->announcedLength();
    encoding_ = QByteArray::fromStdString(reader_->header("Content-Encoding")).trimmed();
    const QByteArray encoding = encoding_.toLower();
    encodedBody_ = !encoding.isEmpty() && encoding != "identity";
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate")
        decoder_ = std::make_unique<GzipDecoder>(encoding != "deflate");
    if (statusCode_ >= 400) {
        // Nothing of a failed response is handed out.
        QString info = QStringLiteral("HTTP %1").arg(statusCode_);
        if (!reader_->reason().empty())
            info += QLatin1Char(' ') + QString::fromLatin1(QByteArray::fromStdString(reader_->reason()));
        fail(statusCode_, info);
        return false;
    }
    QTcpSocket *socket = socket_;
    emit StateChanged(icReceivingResponse);
    return socket_ == socket && socket;
}

bool Inet::takeBody(const std::string &bytes)
{
    QTcpSocket *socket = socket_;
    const auto alive = [this, socket] { return socket_ == socket && socket; };
    const auto handOut = [&](const QByteArray &piece) {
        receivedBytes_ += piece.size();
        if (!streaming_) {
            body_ += piece;
            return true;
        }
        emit DataArrived(piece);
        return alive();
    };
    const QByteArray piece = QByteArray::fromStdString(bytes);
    if (!decoder_)
        return handOut(piece);
    if (!decoder_->feed(piece, handOut)) {
        if (alive())
            fail(ERROR_INTERNET_INTERNAL_ERROR, notDecodedText());
        return false;
    }
    return alive();
}

void Inet::complete()
{
    if (decoder_ && !decoder_->complete()) {
        fail(ERROR_INTERNET_INTERNAL_ERROR, notDecodedText());
        return;
    }
    closeConnection();
    timer_->stop();
    executing_ = false;
    completed_ = true;
    readPosition_ = 0;
    emit StateChanged(icResponseCompleted);
}

void Inet::failFromReader()
{
    const bool closed = reader_->failure() == HttpResponseReader::Failure::ClosedTooEarly;
    fail(closed ? ERROR_INTERNET_CONNECTION_RESET : ERROR_HTTP_INVALID_SERVER_RESPONSE,
         QString::fromStdString(reader_->failureText()));
}

void Inet::closeConnection()
{
    if (!socket_)
        return;
    QTcpSocket *socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void Inet::restartTimer()
{
    if (executing_ && runningTimeout_ > 0)
        timer_->start(std::min(runningTimeout_, std::numeric_limits<int>::max() / 1000) * 1000);
}

void Inet::Cancel()
{
    if (!executing_)
        return;
    timer_->stop();
    closeConnection();
    executing_ = false;
    body_.clear();
    responseCode_ = ERROR_INTERNET_OPERATION_CANCELLED;
    responseInfo_ = QStringLiteral("Cancelled");
}

void Inet::fail(long code, const QString &info)
{
    closeConnection();
    timer_->stop();
    executing_ = false;
    completed_ = false;
    body_.clear();
    readPosition_ = 0;
    responseCode_ = code;
    responseInfo_ = info;
    emit StateChanged(icError);
}

QByteArray Inet::GetChunk(qint64 size, DataTypeConstants dataType)
{
    Q_UNUSED(dataType); // a string and a byte array are the same bytes here
    if (!completed_ || size <= 0 || readPosition_ >= body_.size()) {
        if (completed_ && readPosition_ >= body_.size()) {
            body_.clear(); // everything has been handed out
            readPosition_ = 0;
            completed_ = false;
        }
        return {};
    }
    const QByteArray chunk = body_.mid(readPosition_, size);
    readPosition_ += chunk.size();
    return chunk;
}

} // namespace platform
