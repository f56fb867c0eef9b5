#include "inet/inet.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
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

// The failure as the network layer words it, never ending in a bare colon:
// for a body that does not decompress Qt says only "Decompression failed:"
// when the decompressor gives no message of its own.
QString failureText(const QNetworkReply &reply)
{
    QString text = reply.errorString().trimmed();
    if (text.isEmpty())
        return QStringLiteral("The transfer failed");
    if (!text.endsWith(QLatin1Char(':')))
        return text;
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed();
    if (encoding.isEmpty())
        return text + QStringLiteral(" no reason given");
    return text + QStringLiteral(" the body is not valid %1 data").arg(QString::fromLatin1(encoding));
}

} // namespace

// A gzip body the HTTP layer leaves as it came (it decodes "gzip" and
// "deflate" but not the older name "x-gzip"), decoded here piece by piece.
// Members one after the other are decoded as one body, as gzip does.
class Inet::GzipDecoder {
public:
    GzipDecoder() { ok_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK; }
    ~GzipDecoder() { inflateEnd(&stream_); }
    GzipDecoder(const GzipDecoder &) = delete;
    GzipDecoder &operator=(const GzipDecoder &) = delete;

    // Decodes `input`, handing the output to `out` in pieces of at most
    // OutputPiece bytes; `out` returns false to stop. False when the data
    // is not gzip (or decoding was stopped).
    template <typename Out> bool feed(const QByteArray &input, Out &&out)
    {
        if (!ok_)
            return false;
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

    // Whether everything fed so far is whole gzip data.
    bool complete() const { return ok_ && ended_; }

private:
    static constexpr qsizetype OutputPiece = 64 * 1024;
    z_stream stream_{};
    bool ok_ = false;
    bool ended_ = false;
};

Inet::Inet(QObject *parent) : QObject(parent), manager_(new QNetworkAccessManager(this)), timer_(new QTimer(this))
{
    manager_->setProxyFactory(new EnvironmentProxies);
    manager_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer); // never before the time is up
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!reply_)
            return;
        timedOut_ = true;
        reply_->abort(); // finished follows at once and ends the request
    });
}

Inet::~Inet()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        delete reply_;
    }
}

QString Inet::notGzipText()
{
    return QStringLiteral("Decompression failed: the body is not valid x-gzip data");
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
    timedOut_ = false;
    contentType_.clear();
    responseUrl_.clear();
    announcedLength_ = -1;
    encodedBody_ = false;
    gunzip_.reset();
    badGzip_ = false;
    headersUnreadable_ = false;
    receivedBytes_ = 0;
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

    QNetworkRequest request(address);
    request.setMaximumRedirectsAllowed(redirectLimit_);
    // The HTTP layer's own guard against highly compressed bodies fails a
    // body past 10 MiB that decompresses more than about 40 times as "not
    // valid" data, which it is not; the caller bounds the decoded body.
    request.setDecompressedSafetyCheckThreshold(-1);
    const QString program = QCoreApplication::applicationName();
    if (!program.isEmpty()) {
        QString agent = program;
        if (!QCoreApplication::applicationVersion().isEmpty())
            agent += QLatin1Char('/') + QCoreApplication::applicationVersion();
        request.setHeader(QNetworkRequest::UserAgentHeader, agent);
    }

    executing_ = true;
    runningTimeout_ = requestTimeout_;
    reply_ = manager_->get(request);
    QNetworkReply *reply = reply_;
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        restartTimer();
        emit StateChanged(icConnecting);
    });
    connect(reply, &QNetworkReply::requestSent, this, [this] {
        restartTimer();
        emit StateChanged(icRequestSent);
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        restartTimer();
        if (reply_ && reply_->rawHeaderPairs().isEmpty()) {
            // The HTTP layer drops every header of a response whose headers
            // pass its bounds, and then waits for the server to close as
            // for a body of unknown length: fail now, not when the server
            // has been silent for the time-out.
            headersUnreadable_ = true;
            reply_->abort(); // finished follows at once and ends the request
            return;
        }
        if (reply_) {
            contentType_ = reply_->rawHeader("Content-Type");
            responseUrl_ = reply_->url().toString();
            const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
            announcedLength_ = length.isValid() ? length.toLongLong() : -1;
            const QByteArray encoding = reply_->rawHeader("Content-Encoding").trimmed().toLower();
            encodedBody_ = !encoding.isEmpty() && encoding != "identity";
            if (encoding == "x-gzip")
                gunzip_ = std::make_unique<GzipDecoder>();
            statusCode_ = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        }
        emit StateChanged(icReceivingResponse);
    });
    connect(reply, &QNetworkReply::redirected, this, [this] { restartTimer(); });
    connect(reply, &QIODevice::readyRead, this, [this] {
        restartTimer();
        if (reply_)
            takeBody(reply_);
    });
    connect(reply, &QNetworkReply::finished, this, [this] { finishReply(); });
    restartTimer();
    return true;
}

void Inet::takeBody(QNetworkReply *reply)
{
    if (!streaming_) {
        const QByteArray bytes = reply->readAll();
        if (!gunzip_) {
            body_ += bytes;
            receivedBytes_ += bytes.size();
            return;
        }
        if (!gunzip_->feed(bytes, [this](const QByteArray &piece) {
                body_ += piece;
                receivedBytes_ += piece.size();
                return true;
            }))
            badGzip_ = true;
        return;
    }
    // A slot may cancel the request, which deletes the reply later: read
    // only while it is still ours.
    const QPointer<QNetworkReply> alive(reply);
    const auto handOut = [&](const QByteArray &piece) {
        receivedBytes_ += piece.size();
        emit DataArrived(piece);
        return alive && alive == reply_;
    };
    while (alive && alive == reply_ && alive->bytesAvailable() > 0 && !badGzip_) {
        const QByteArray piece = alive->read(64 * 1024);
        if (piece.isEmpty())
            break;
        if (!gunzip_)
            handOut(piece);
        else if (!gunzip_->feed(piece, handOut) && alive && alive == reply_)
            badGzip_ = true;
    }
    if (badGzip_ && alive && alive == reply_)
        alive->abort(); // finished follows and names the failure
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
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    executing_ = false;
    body_.clear();
    responseCode_ = ERROR_INTERNET_OPERATION_CANCELLED;
    responseInfo_ = QStringLiteral("Cancelled");
}

void Inet::fail(long code, const QString &info)
{
    timer_->stop();
    executing_ = false;
    completed_ = false;
    body_.clear();
    readPosition_ = 0;
    responseCode_ = code;
    responseInfo_ = info;
    emit StateChanged(icError);
}

void Inet::finishReply()
{
    QNetworkReply *reply = reply_;
    if (!reply)
        return;
    reply_ = nullptr;
    reply->deleteLater();
    reply->disconnect(this);
    timer_->stop();

    if (!timedOut_ && !headersUnreadable_) {
        // The last pieces may still cancel the request through DataArrived.
        reply_ = reply;
        takeBody(reply);
        if (reply_ != reply)
            return;
        reply_ = nullptr;
    }
    statusCode_ = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QNetworkReply::NetworkError error = reply->error();

    if (timedOut_) {
        fail(ERROR_INTERNET_TIMEOUT, timedOutText(runningTimeout_));
        return;
    }
    if (headersUnreadable_) {
        fail(ERROR_INTERNET_INTERNAL_ERROR,
             QStringLiteral("The response has no headers that can be read (at most %1 lines are read, each of at "
                            "most %2 KiB and %3 KiB in all)")
                 .arg(MaxHeaderLines)
                 .arg(MaxHeaderLineBytes / 1024)
                 .arg(MaxHeaderBytes / 1024));
        return;
    }
    if (badGzip_ || (gunzip_ && error == QNetworkReply::NoError && statusCode_ < 400 && !gunzip_->complete())) {
        fail(ERROR_INTERNET_INTERNAL_ERROR, notGzipText());
        return;
    }
    if (statusCode_ >= 400) {
        QString info = QStringLiteral("HTTP %1").arg(statusCode_);
        if (!reason.isEmpty())
            info += QLatin1Char(' ') + reason;
        fail(statusCode_, info);
        return;
    }
    // A connection that ends early is not always reported as an error: a
    // body shorter than its announced length is cut short whatever the
    // reply says. (A compressed body's length counts the bytes before
    // decompression, which are not seen here.)
    if (error == QNetworkReply::NoError && announcedLength_ >= 0 && !encodedBody_ &&
        receivedBytes_ < announcedLength_) {
        fail(ERROR_INTERNET_CONNECTION_RESET,
             QStringLiteral("Connection closed by the server before the page was complete"));
        return;
    }
    switch (error) {
    case QNetworkReply::NoError:
        executing_ = false;
        completed_ = true;
        readPosition_ = 0;
        emit StateChanged(icResponseCompleted);
        return;
    case QNetworkReply::HostNotFoundError:
        fail(ERROR_INTERNET_NAME_NOT_RESOLVED, QStringLiteral("Host %1 not found").arg(reply->url().host()));
        return;
    case QNetworkReply::ConnectionRefusedError:
        fail(ERROR_INTERNET_CANNOT_CONNECT, QStringLiteral("Connection refused"));
        return;
    case QNetworkReply::RemoteHostClosedError:
        fail(ERROR_INTERNET_CONNECTION_RESET,
             QStringLiteral("Connection closed by the server before the page was complete"));
        return;
    case QNetworkReply::TimeoutError: fail(ERROR_INTERNET_TIMEOUT, timedOutText(runningTimeout_)); return;
    case QNetworkReply::TooManyRedirectsError:
        fail(ERROR_HTTP_REDIRECT_FAILED, QStringLiteral("Too many redirects"));
        return;
    case QNetworkReply::InsecureRedirectError:
        fail(ERROR_HTTP_REDIRECT_FAILED, QStringLiteral("Redirect to a less secure address refused"));
        return;
    case QNetworkReply::ProtocolUnknownError:
        fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, QStringLiteral("Redirect to an unsupported scheme"));
        return;
    case QNetworkReply::SslHandshakeFailedError:
        fail(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
             QStringLiteral("Secure connection failed: %1").arg(reply->errorString()));
        return;
    default: fail(ERROR_INTERNET_INTERNAL_ERROR, failureText(*reply)); return;
    }
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
