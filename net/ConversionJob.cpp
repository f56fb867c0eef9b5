#include "net/ConversionJob.h"

#include "base/fd_io.h"
#include "convert/converter.h"
#include "net/PageRetrieval.h"
#include "platform/inet/inet.h"
#include "platform/registry/registry.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

namespace quillan::net {

namespace {

constexpr qint64 MiB = 1024 * 1024;
// How much of an over-long address a message shows.
constexpr int ShownAddressLength = 200;

std::filesystem::path toPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString tooLargeReason(qint64 maxBytes)
{
    if (maxBytes > 0 && maxBytes % MiB == 0)
        return QStringLiteral("The page is larger than %1 MiB").arg(PageRetrieval::GroupedCount(maxBytes / MiB));
    return QStringLiteral("The page is larger than %1 bytes").arg(PageRetrieval::GroupedCount(maxBytes));
}

QString secondsText(std::chrono::seconds seconds)
{
    return seconds.count() == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds.count());
}

int timerMilliseconds(std::chrono::seconds seconds)
{
    const qint64 limit = std::numeric_limits<int>::max() / 1000;
    return int(std::min<qint64>(std::max<qint64>(seconds.count(), 0), limit) * 1000);
}

// The charset parameter of a Content-Type value, without quotes.
QByteArray charsetOf(const QByteArray &contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Anything at all at path, a dangling link included.
bool pathTaken(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

FetchLimits readFetchLimits()
{
    FetchLimits limits;
    const std::optional<platform::DWORD> mib =
        platform::RegReadDword(platform::HKEY_CURRENT_USER, ProgramRegistryKey, MaxPageMiBValue);
    if (mib && *mib >= 1)
        limits.maxBytes = qint64(*mib) * MiB;
    return limits;
}

// One conversion on a worker thread; its outcome is read once the thread
// has finished.
struct ConversionJob::Worker {
    QThread *thread = nullptr;
    bool ok = false;
    QString errorPath;
    QString errorReason;
    text::Result result;
    // Set last by the conversion and read once its thread has ended:
    // QThread::wait() orders the two under a lock of Qt's own, which
    // ThreadSanitizer does not see (Qt is not built with it); this flag
    // orders them where it does.
    std::atomic<bool> done{false};

    // Waits for the thread to end: everything it wrote may then be read,
    // and whatever it took with it freed.
    void join()
    {
        thread->wait();
        (void)done.load(std::memory_order_acquire);
    }
};

ConversionJob::ConversionJob(QObject *parent) : QObject(parent), deadline_(new QTimer(this))
{
    deadline_->setSingleShot(true);
    deadline_->setTimerType(Qt::PreciseTimer); // never before the time is up
    connect(deadline_, &QTimer::timeout, this, &ConversionJob::onDeadline);
}

ConversionJob::~ConversionJob()
{
    stopEverything();
    // The job may be destroyed from inside the transfer's own signals (a
    // slot of progress): the transfer and its reply then go once those
    // signals have returned, never under their feet.
    if (inet_) {
        inet_->disconnect(this);
        inet_->setParent(nullptr);
        inet_->deleteLater();
        inet_ = nullptr;
    }
}

bool ConversionJob::convertAddress(const QString &address)
{
    if (running_)
        return false;
    running_ = true;
    address_ = address;
    result_ = {};
    textPrivate_ = false;
    received_ = 0;
    charset_.clear();
    responseAddress_.clear();

    // The transfer would fetch its last address again for an empty one.
    if (address.trimmed().isEmpty()) {
        QTimer::singleShot(0, this, [this, address] {
            fail(PageRetrieval::UnableToRetrieveMessage(address, QString()), QStringLiteral("No address was given."));
        });
        return true;
    }
    if (address.size() > MaxAddressLength) {
        const QString shown = address.left(ShownAddressLength) + QStringLiteral("...");
        QTimer::singleShot(0, this, [this, shown] {
            fail(PageRetrieval::UnableToRetrieveMessage(shown, QString()),
                 QStringLiteral("The address is longer than %1 characters")
                     .arg(PageRetrieval::GroupedCount(MaxAddressLength)));
        });
        return true;
    }

    QString error;
    const QString pagePath = PageRetrieval::MakeFetchedPagePath(&error);
    QString createError;
    const int fd = pagePath.isEmpty() ? -1 : PageRetrieval::CreatePageFile(pagePath, &createError);
    if (fd < 0) {
        if (!pagePath.isEmpty())
            error = pagePath + QStringLiteral(": ") + createError;
        QTimer::singleShot(0, this, [this, error] { fail(QString::fromLatin1(ConversionFailedMessage), error); });
        return true;
    }
    pagePath_ = pagePath;
    pageFd_ = fd;

    if (!inet_) {
        inet_ = new platform::Inet(this);
        inet_->setObjectName(QStringLiteral("Inet1"));
        inet_->setStreamBody(true);
        connect(inet_, &platform::Inet::StateChanged, this, &ConversionJob::onState);
        connect(inet_, &platform::Inet::DataArrived, this, &ConversionJob::onData);
    }
    inet_->setRequestTimeout(int(std::min<qint64>(limits_.silence.count(), std::numeric_limits<int>::max())));
    inet_->setMaxRedirects(limits_.maxRedirects);
    deadline_->start(timerMilliseconds(limits_.deadline));
    // A refused address signals icError from inside Execute; the failure is
    // then reported on the next turn of the event loop like any other.
    inet_->Execute(address, QStringLiteral("GET"));
    return true;
}

bool ConversionJob::convertFile(const QString &htmlPath)
{
    if (running_)
        return false;
    running_ = true;
    address_.clear();
    result_ = {};
    textPrivate_ = false;
    QTimer::singleShot(0, this, [this, htmlPath] {
        if (running_ && !worker_)
            startConversion(htmlPath);
    });
    return true;
}

void ConversionJob::onState(short state)
{
    if (!running_ || !inet_)
        return;
    switch (state) {
    case platform::icReceivingResponse:
        charset_ = charsetOf(inet_->ContentType());
        responseAddress_ = inet_->ResponseURL();
        if (const int status = inet_->StatusCode(); status >= 300 && status < 400)
            return; // a redirect being followed; its type says nothing of the page
        // A page that is not HTML or text is not converted (an error status
        // fails by its own reason whatever it sends).
        if (const QString refused = PageRetrieval::RefusedTypeReason(inet_->ContentType());
            !refused.isEmpty() && inet_->StatusCode() < 400) {
            inet_->Cancel();
            failFetch(refused);
            return;
        }
        // A compressed body's length counts the bytes before decompression;
        // its decoded bytes are counted as they arrive.
        if (!inet_->BodyEncoded() && inet_->AnnouncedLength() > limits_.maxBytes) {
            inet_->Cancel();
            failFetch(tooLargeReason(limits_.maxBytes));
        }
        return;
    case platform::icError: {
        const QString reason = inet_->ResponseInfo();
        // Signalled from inside Execute for a refused address: report it
        // once the start has returned.
        QTimer::singleShot(0, this, [this, reason] {
            if (running_ && !worker_ && pageFd_ >= 0)
                failFetch(reason);
        });
        return;
    }
    case platform::icResponseCompleted: {
        deadline_->stop();
        const int fd = pageFd_;
        pageFd_ = -1;
        if (::close(fd) != 0) {
            fail(QString::fromLatin1(ConversionFailedMessage), pagePath_ + QStringLiteral(": ") + systemReason(errno));
            return;
        }
        startConversion(pagePath_);
        return;
    }
    default: return;
    }
}

void ConversionJob::onData(const QByteArray &piece)
{
    if (!running_ || pageFd_ < 0)
        return;
    if (received_ + piece.size() > limits_.maxBytes) {
        inet_->Cancel();
        failFetch(tooLargeReason(limits_.maxBytes));
        return;
    }
    if (const int error = base::WriteAll(pageFd_, piece.constData(), std::size_t(piece.size())); error != 0) {
        inet_->Cancel();
        fail(QString::fromLatin1(ConversionFailedMessage), pagePath_ + QStringLiteral(": ") + systemReason(error));
        return;
    }
    received_ += piece.size();
    emit progress(received_, address_);
}

void ConversionJob::onDeadline()
{
    if (!running_ || !inet_ || !inet_->StillExecuting())
        return;
    inet_->Cancel();
    failFetch(QStringLiteral("Took longer than %1").arg(secondsText(limits_.deadline)));
}

void ConversionJob::startConversion(const QString &htmlPath)
{
    source_ = htmlPath;
    result_ = {};
    textSyntax_ = options_.syntax;
    textPath_ = fromPath(convert::textPathFor(toPath(htmlPath)));
    // A fetched page's text lies beside it in the private folder. A file's
    // goes beside the file, but never over something already there.
    textPrivate_ = !address_.isEmpty();
    if (!textPrivate_ && pathTaken(textPath_)) {
        QString error;
        textPath_ = PageRetrieval::CreatePrivateTextFile(&error);
        if (textPath_.isEmpty()) {
            fail(QString::fromLatin1(ConversionFailedMessage), error);
            return;
        }
        textPrivate_ = true;
    }
    // Empty: the text path rule's own text.
    const QString textPath = textPrivate_ && address_.isEmpty() ? textPath_ : QString();
    worker_ = std::make_unique<Worker>();
    emit converting();
    Worker *worker = worker_.get();
    text::Options options = options_;
    options.title = text::TitleSearch::Find;
    // Only a fetched page has a response whose charset speaks for it.
    options.httpCharset = address_.isEmpty() ? std::string() : charset_.toStdString();
    // Its links are listed against the address it came from, as a
    // browser resolves them after redirects.
    options.address = address_.isEmpty() ? std::string() : responseAddress_.toStdString();
    const std::filesystem::path page = toPath(htmlPath);
    const std::filesystem::path text = textPath.isEmpty() ? convert::textPathFor(page) : toPath(textPath);
    auto convert = [worker, page, text, options] {
        try {
            worker->result = convert::convertHtmlFile(page, text, options);
            worker->ok = true;
        } catch (const convert::ConversionError &error) {
            worker->errorPath = QString::fromStdString(error.path());
            worker->errorReason = QString::fromStdString(error.reason());
        } catch (const std::exception &error) {
            worker->errorReason = QString::fromLocal8Bit(error.what());
        }
        worker->done.store(true, std::memory_order_release);
    };
    worker->thread = QThread::create(convert);
    connect(worker->thread, &QThread::finished, this, &ConversionJob::finishConversion);
    worker->thread->start();
}

PageRetrieval::SavePlace ConversionJob::savePlace() const
{
    const QString extension = textSyntax_ == text::Syntax::Markdown ? QStringLiteral("md") : QStringLiteral("txt");
    return PageRetrieval::SavePlaceFor(pageTitle(), address_, source_, extension);
}

void ConversionJob::finishConversion()
{
    if (!worker_)
        return;
    std::unique_ptr<Worker> worker = std::move(worker_);
    if (worker->thread) {
        worker->join();
        delete worker->thread;
    }
    if (!pagePath_.isEmpty()) {
        QFile::remove(pagePath_);
        pagePath_.clear();
    }
    if (!worker->ok) {
        const QString reason = worker->errorPath.isEmpty()
                                   ? worker->errorReason
                                   : worker->errorPath + QStringLiteral(": ") + worker->errorReason;
        // A failed conversion leaves an earlier text as it was; a private
        // text file made for it goes.
        if (textPrivate_ && address_.isEmpty())
            QFile::remove(textPath_);
        textPath_.clear();
        fail(QString::fromLatin1(ConversionFailedMessage), reason);
        return;
    }
    result_ = std::move(worker->result);
    const QString text = textPath_;
    textPath_.clear();
    running_ = false;
    emit textReady(text);
}

void ConversionJob::failFetch(const QString &reason)
{
    fail(PageRetrieval::UnableToRetrieveMessage(address_, QString()), reason);
}

void ConversionJob::fail(const QString &message, const QString &reason)
{
    if (!running_)
        return;
    textPath_.clear(); // nothing of a failed run was made by this job but the page
    stopEverything();
    emit failed(message, reason);
}

void ConversionJob::cancel()
{
    if (!running_)
        return;
    stopEverything();
    emit cancelled();
}

void ConversionJob::stopEverything()
{
    deadline_->stop();
    if (inet_ && inet_->StillExecuting())
        inet_->Cancel();
    if (worker_) {
        if (worker_->thread) {
            worker_->thread->disconnect(this);
            worker_->join();
            delete worker_->thread;
        }
        worker_.reset();
    }
    removeFiles();
    running_ = false;
}

void ConversionJob::removeFiles()
{
    if (pageFd_ >= 0) {
        ::close(pageFd_);
        pageFd_ = -1;
    }
    if (!pagePath_.isEmpty()) {
        QFile::remove(pagePath_);
        pagePath_.clear();
    }
    if (!textPath_.isEmpty()) {
        QFile::remove(textPath_);
        textPath_.clear();
    }
}

} // namespace quillan::net
