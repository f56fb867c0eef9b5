#include "net/convert_runner.h"

#include "base/fd_io.h"
#include "base/fd_limit.h"
#include "base/replace_file.h"
#include "cli/convert_options.h"
#include "cli/convert_output_names.h"
#include "cli/convert_progress.h"
#include "convert/converter.h"
#include "net/PageRetrieval.h"
#include "text/article/article_extractor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace quillan::net {

using namespace quillan::cli;

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Open files: what one conversion under way may hold at once, with room to
// spare (a fetch holds its connection, its transfer thread's wake-up and its
// page file, another connection after a redirect to another host; a
// conversion its page and its text), and what the run itself keeps besides
// (the event loop, name lookups, the list, the signal pipe).
constexpr std::uint64_t FilesPerJob = 6;
constexpr std::uint64_t FilesKept = 64;

// The texts waiting for their turn behind an input not yet done, together:
// past this no new input is started until the oldest has been delivered.
constexpr std::uint64_t MaxWaitingTextBytes = 64 * 1024 * 1024;
constexpr int ProgressIntervalMs = 200;

// What the signal handler may touch: the pipe that wakes the event loop and
// the first signal seen. Set once per process, before the handler is
// installed.
int signalPipeWrite = -1;
volatile std::sig_atomic_t firstSignal = 0;

extern "C" void onStopSignal(int sig)
{
    if (firstSignal != 0) {
        // Asked again while stopping: end at once.
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    firstSignal = sig;
    const int saved = errno;
    const char wake = 1;
    (void)!::write(signalPipeWrite, &wake, 1);
    errno = saved;
}

std::string systemReason(int error)
{
    return std::strerror(error);
}

std::string prefixed(const std::string &text)
{
    return std::string(ProgramName) + ": " + text;
}

struct CopyFailure {
    bool reading; // else writing
    int error;
};

// Copies everything from inFd to outFd; nothing on success.
std::optional<CopyFailure> copyAll(int inFd, int outFd)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = base::ReadSome(inFd, buffer.data(), buffer.size());
        if (n < 0)
            return CopyFailure{true, int(-n)};
        if (n == 0)
            return std::nullopt;
        if (const int error = base::WriteAll(outFd, buffer.data(), std::size_t(n)); error != 0)
            return CopyFailure{false, error};
    }
}

// One input of the run, from the moment it is taken from the source until
// its result has been delivered.
struct Item {
    std::uint64_t index = 0;
    std::string input;
    InputKind kind = InputKind::File;
    bool finished = false;
    bool ok = false;
    // A text in the private folder, to be delivered and then removed (a
    // fetched page's text; a file's text for standard output).
    std::string privateText;
    std::uint64_t textBytes = 0; // the size of privateText, counted among the waiting texts
    std::string failure;         // the whole message for standard error, lines without their end
    std::string remark;          // a line for standard error once the text is delivered (--verbose)
};

class BatchRunner : public QObject {
public:
    BatchRunner(const RunSettings &settings, std::vector<std::string> inputs, std::optional<InputList> list,
                const FileConversion &convertFile);
    ~BatchRunner() override;

    int run();

private:
    struct JobSlot {
        ConversionJob *job = nullptr;
        std::uint64_t item = 0;
        bool busy = false;
        qint64 received = 0;
    };

    // A file converted on one of the pool's threads.
    struct FileOutcome {
        std::uint64_t item = 0;
        bool ok = false;
        std::string failure;
        std::string remark;
    };

    bool installSignalHandling();
    void scheduleFill();
    void fill();
    void start(Item &item, InputEntry entry);
    void startAddress(Item &item);
    void startFile(Item &item);
    void runFileTask();
    void takeFileOutcomes();
    void finish(std::uint64_t index, bool ok, std::string failure, std::string privateText = {});
    void onJobEnded(JobSlot &slot, bool ok, const QString &textPath, const QString &message, const QString &reason);
    Item *find(std::uint64_t index);
    void deliverInOrder();
    void deliver(Item &item);
    bool deliverAddress(Item &item);
    bool toStandardOutput(Item &item);
    bool toOutputFile(Item &item, const std::string &path);
    bool toOutDir(Item &item);
    void writeError(const std::string &text);
    void standardOutputFailed(int error);
    void maybeQuit();
    void updateProgress();
    void stop();
    void removeLeftovers();
    [[noreturn]] void endBySignal(int sig);

    RunSettings settings_;
    FileConversion convertFile_;
    std::unique_ptr<InputSource> source_;
    bool sourceEnded_ = false;
    std::deque<Item> window_; // from the oldest item not yet delivered
    std::uint64_t nextIndex_ = 0;
    std::size_t windowLimit_ = 16;
    std::uint64_t waitingTextBytes_ = 0; // of the finished items' private texts
    unsigned running_ = 0;
    bool fillQueued_ = false;
    bool stopping_ = false;
    int status_ = 0;
    std::vector<std::unique_ptr<JobSlot>> slots_;
    QThreadPool pool_;
    // The files' conversions and their outcomes pass between this thread
    // and the pool's under a lock of their own, not only inside the pool's
    // queue and Qt's event queue, whose locks are Qt's (ThreadSanitizer sees
    // this one; Qt is not built with it).
    std::mutex filesMutex_;
    std::deque<std::function<FileOutcome()>> fileTasks_;
    std::deque<FileOutcome> fileOutcomes_;

    ProgressCounts counts_;
    ProgressLine progress_;
    QElapsedTimer clock_;
    QTimer *progressTimer_ = nullptr;
    int signalPipeRead_ = -1;
    static constexpr std::size_t NamesRemembered = 4096;
    std::unordered_map<std::string, int> namesUsed_;
};

BatchRunner::BatchRunner(const RunSettings &settings, std::vector<std::string> inputs, std::optional<InputList> list,
                         const FileConversion &convertFile)
    : settings_(settings), convertFile_(convertFile), source_(std::make_unique<InputSource>(std::move(inputs))),
      progress_(STDERR_FILENO, !settings.quiet && ::isatty(STDERR_FILENO) == 1)
{
    settings_.jobs = std::max(1u, settings_.jobs);
    windowLimit_ = std::max<std::size_t>(16, std::size_t(settings_.jobs) * 4);
    pool_.setMaxThreadCount(int(settings_.jobs));
    if (list) {
        // Called from the reader's thread: only a queued wake-up.
        source_->readList(std::move(list->fd), std::move(list->name), [this] {
            QMetaObject::invokeMethod(
                this, [this] { scheduleFill(); }, Qt::QueuedConnection);
        });
    }
}

BatchRunner::~BatchRunner()
{
    // The reader first: it must not wake a runner that is going away.
    source_.reset();
    pool_.waitForDone();
}

bool BatchRunner::installSignalHandling()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    signalPipeRead_ = fds[0];
    signalPipeWrite = fds[1];
    auto *notifier = new QSocketNotifier(qintptr(signalPipeRead_), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { endBySignal(int(firstSignal)); });

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : StopSignals) {
        struct sigaction current {};
        // A signal the caller ignores (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        ::sigaction(sig, &action, nullptr);
    }
    // A closed standard output is seen as EPIPE and ends the run below.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

int BatchRunner::run()
{
    if (!installSignalHandling()) {
        writeError(prefixed(systemReason(errno)));
        return 1;
    }
    if (settings_.outDir) {
        std::error_code error;
        std::filesystem::create_directories(*settings_.outDir, error);
        if (error || !std::filesystem::is_directory(*settings_.outDir)) {
            writeError(prefixed(*settings_.outDir + ": " + (error ? error.message() : systemReason(ENOTDIR))));
            return 1;
        }
    }
    clock_.start();
    if (progress_.enabled()) {
        progressTimer_ = new QTimer(this);
        connect(progressTimer_, &QTimer::timeout, this, &BatchRunner::updateProgress);
        progressTimer_->start(ProgressIntervalMs);
    }
    scheduleFill();
    QCoreApplication::exec();
    progress_.clear();
    pool_.waitForDone();
    PageRetrieval::RemoveFetchedPagesFolder();
    return status_;
}

void BatchRunner::scheduleFill()
{
    if (fillQueued_)
        return;
    fillQueued_ = true;
    // Never from inside a job's signal: its transfer may still be unwinding.
    QTimer::singleShot(0, this, [this] {
        fillQueued_ = false;
        fill();
    });
}

void BatchRunner::fill()
{
    // Delivering first makes room in the window; an input that fails at
    // once is delivered as soon as its turn has come.
    deliverInOrder();
    while (!stopping_ && running_ < settings_.jobs && window_.size() < windowLimit_ &&
           waitingTextBytes_ < MaxWaitingTextBytes) {
        InputEntry entry;
        const InputSource::Status status = source_->next(&entry);
        if (status == InputSource::Status::Ended)
            sourceEnded_ = true;
        if (status != InputSource::Status::Ready)
            break;
        Item &item = window_.emplace_back();
        item.index = nextIndex_++;
        start(item, std::move(entry));
        deliverInOrder();
    }
    maybeQuit();
}

void BatchRunner::start(Item &item, InputEntry entry)
{
    if (!entry.failure.empty()) {
        finish(item.index, false, prefixed(entry.failure));
        return;
    }
    item.input = std::move(entry.input);
    item.kind = classifyInput(item.input);
    switch (item.kind) {
    case InputKind::RefusedAddress: finish(item.index, false, prefixed(refusedAddressMessage(item.input))); return;
    case InputKind::Address: startAddress(item); return;
    case InputKind::File:
        if (item.input == "-") {
            finish(item.index, false, prefixed("-: standard input cannot be read as one of several inputs"));
            return;
        }
        startFile(item);
        return;
    }
}

void BatchRunner::startAddress(Item &item)
{
    JobSlot *slot = nullptr;
    for (const auto &candidate : slots_)
        if (!candidate->busy) {
            slot = candidate.get();
            break;
        }
    if (!slot) {
        slots_.push_back(std::make_unique<JobSlot>());
        slot = slots_.back().get();
        slot->job = new ConversionJob(this);
        ConversionJob *job = slot->job;
        connect(job, &ConversionJob::textReady, this,
                [this, slot](const QString &path) { onJobEnded(*slot, true, path, {}, {}); });
        connect(job, &ConversionJob::failed, this, [this, slot](const QString &message, const QString &reason) {
            onJobEnded(*slot, false, {}, message, reason);
        });
        connect(job, &ConversionJob::progress, this, [this, slot](qint64 received, const QString &) {
            counts_.bytes += std::uint64_t(received - slot->received);
            slot->received = received;
        });
    }
    slot->job->setLimits(settings_.limits);
    // A fetched page's readable text is decoded by its response's charset:
    // the job knows it, so the page is converted there.
    text::Options options = settings_.text;
    options.source = item.input;
    slot->job->setTextOptions(options);
    slot->busy = true;
    slot->item = item.index;
    slot->received = 0;
    ++running_;
    slot->job->convertAddress(QString::fromUtf8(item.input.c_str()));
}

void BatchRunner::onJobEnded(JobSlot &slot, bool ok, const QString &textPath, const QString &message,
                             const QString &reason)
{
    if (!slot.busy)
        return;
    slot.busy = false;
    --running_;
    if (ok) {
        const std::optional<text::article::ArticleChoice> &chosen = slot.job->result().article;
        if (settings_.verbose && chosen)
            if (Item *item = find(slot.item))
                item->remark = prefixed(item->input + ": " + text::article::tell(*chosen));
        finish(slot.item, true, {}, QFile::encodeName(textPath).toStdString());
    } else {
        const QString text = reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
        finish(slot.item, false, prefixed(text.toLocal8Bit().toStdString()));
    }
    scheduleFill();
}

void BatchRunner::startFile(Item &item)
{
    struct stat info {};
    if (::stat(item.input.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        counts_.bytes += std::uint64_t(info.st_size);

    // A text for an output folder or for standard output waits in the
    // private folder for its turn.
    std::optional<std::string> output;
    if (settings_.outDir || settings_.separate) {
        QString error;
        const QString page = PageRetrieval::MakeFetchedPagePath(&error);
        if (page.isEmpty()) {
            finish(item.index, false, prefixed(error.toLocal8Bit().toStdString()));
            return;
        }
        output = convert::textPathFor(QFile::encodeName(page).toStdString()).string();
        item.privateText = *output;
    }

    ++running_;
    {
        std::lock_guard lock(filesMutex_);
        fileTasks_.push_back([this, index = item.index, input = item.input, output] {
            FileOutcome outcome;
            outcome.item = index;
            try {
                outcome.remark = convertFile_(input, output ? &*output : nullptr);
                outcome.ok = true;
            } catch (const convert::ConversionError &error) {
                outcome.failure = prefixed(error.what());
            } catch (const std::exception &error) {
                outcome.failure = prefixed(input + ": " + error.what());
            }
            return outcome;
        });
    }
    pool_.start([this] { runFileTask(); });
}

// On a thread of the pool: the oldest file waiting, one per start().
void BatchRunner::runFileTask()
{
    std::function<FileOutcome()> task;
    {
        std::lock_guard lock(filesMutex_);
        task = std::move(fileTasks_.front());
        fileTasks_.pop_front();
    }
    FileOutcome outcome = task();
    task = nullptr;
    {
        std::lock_guard lock(filesMutex_);
        fileOutcomes_.push_back(std::move(outcome));
    }
    QMetaObject::invokeMethod(
        this, [this] { takeFileOutcomes(); }, Qt::QueuedConnection);
}

void BatchRunner::takeFileOutcomes()
{
    std::deque<FileOutcome> outcomes;
    {
        std::lock_guard lock(filesMutex_);
        outcomes.swap(fileOutcomes_);
    }
    if (outcomes.empty())
        return;
    for (FileOutcome &outcome : outcomes) {
        --running_;
        Item *done = find(outcome.item);
        if (done && !outcome.remark.empty())
            done->remark = prefixed(outcome.remark);
        finish(outcome.item, outcome.ok, std::move(outcome.failure), done ? done->privateText : std::string());
    }
    scheduleFill();
}

Item *BatchRunner::find(std::uint64_t index)
{
    if (window_.empty() || index < window_.front().index)
        return nullptr;
    const std::uint64_t offset = index - window_.front().index;
    return offset < window_.size() ? &window_[std::size_t(offset)] : nullptr;
}

void BatchRunner::finish(std::uint64_t index, bool ok, std::string failure, std::string privateText)
{
    Item *item = find(index);
    if (!item)
        return;
    item->finished = true;
    item->ok = ok;
    item->failure = std::move(failure);
    if (!ok && !item->privateText.empty()) {
        ::unlink(item->privateText.c_str());
        privateText.clear();
    }
    item->privateText = ok ? std::move(privateText) : std::string();
    if (!item->privateText.empty()) {
        struct stat info {};
        if (::stat(item->privateText.c_str(), &info) == 0)
            item->textBytes = std::uint64_t(info.st_size);
        waitingTextBytes_ += item->textBytes;
    }
    ++counts_.done;
    if (!ok)
        ++counts_.failed;
}

void BatchRunner::deliverInOrder()
{
    while (!stopping_ && !window_.empty() && window_.front().finished) {
        deliver(window_.front());
        if (!window_.front().privateText.empty())
            ::unlink(window_.front().privateText.c_str());
        waitingTextBytes_ -= window_.front().textBytes;
        window_.pop_front();
    }
}

void BatchRunner::deliver(Item &item)
{
    if (item.ok) {
        if (item.kind == InputKind::Address)
            item.ok = deliverAddress(item);
        else if (settings_.outDir)
            item.ok = toOutDir(item);
        else if (settings_.separate)
            item.ok = toStandardOutput(item);
        if (!item.ok)
            ++counts_.failed;
    }
    if (!item.ok) {
        status_ = 1;
        if (!item.failure.empty()) // a failed standard output has been reported already
            writeError(item.failure);
    } else if (!item.remark.empty()) {
        writeError(item.remark);
    }
}

bool BatchRunner::deliverAddress(Item &item)
{
    if (settings_.output) {
        if (*settings_.output == "-")
            return toStandardOutput(item);
        return toOutputFile(item, *settings_.output);
    }
    if (settings_.outDir)
        return toOutDir(item);
    return toStandardOutput(item);
}

bool BatchRunner::toStandardOutput(Item &item)
{
    base::UniqueFd text(::open(item.privateText.c_str(), O_RDONLY | O_CLOEXEC));
    if (!text) {
        item.failure = prefixed(item.privateText + ": " + systemReason(errno));
        return false;
    }
    if (::isatty(STDOUT_FILENO) == 1)
        progress_.clear();
    if (settings_.separate && settings_.text.envelope != text::Envelope::JsonLine) {
        // The header's line end is that of the texts around it; JSON Lines
        // name each page inside its object.
        const std::string header =
            "==> " + item.input + (settings_.text.kind == text::Kind::Stripped ? " <==\r\n" : " <==\n");
        if (const int error = base::WriteAll(STDOUT_FILENO, header.data(), header.size()); error != 0) {
            standardOutputFailed(error);
            return false;
        }
    }
    if (const std::optional<CopyFailure> failure = copyAll(text.get(), STDOUT_FILENO)) {
        if (!failure->reading) {
            standardOutputFailed(failure->error);
            return false;
        }
        item.failure = prefixed(item.privateText + ": " + systemReason(failure->error));
        return false;
    }
    return true;
}

bool BatchRunner::toOutputFile(Item &item, const std::string &path)
{
    base::UniqueFd text(::open(item.privateText.c_str(), O_RDONLY | O_CLOEXEC));
    if (!text) {
        item.failure = prefixed(item.privateText + ": " + systemReason(errno));
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // A device such as /dev/null or a pipe is written as it is.
        base::UniqueFd out(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        std::optional<CopyFailure> failure;
        if (!out)
            failure = CopyFailure{false, errno};
        else
            failure = copyAll(text.get(), out.get());
        if (!failure)
            if (const int error = out.reset(); error != 0)
                failure = CopyFailure{false, error};
        if (failure)
            item.failure = prefixed((failure->reading ? item.privateText : path) + ": " + systemReason(failure->error));
        return !failure;
    }
    // A file is replaced only by the whole text.
    base::ReplaceOptions options;
    options.durable = false;
    base::FileReplacement fresh;
    int error = fresh.open(path, options);
    if (error == 0) {
        if (const std::optional<CopyFailure> failure = copyAll(text.get(), fresh.fd())) {
            if (failure->reading) {
                item.failure = prefixed(item.privateText + ": " + systemReason(failure->error));
                return false;
            }
            error = failure->error;
        } else {
            error = fresh.commit();
        }
    }
    if (error != 0) {
        item.failure = prefixed(path + ": " + systemReason(error));
        return false;
    }
    return true;
}

bool BatchRunner::toOutDir(Item &item)
{
    base::UniqueFd text(::open(item.privateText.c_str(), O_RDONLY | O_CLOEXEC));
    if (!text) {
        item.failure = prefixed(item.privateText + ": " + systemReason(errno));
        return false;
    }
    std::filesystem::path path;
    int error = 0;
    // Where the last files of this name ended, so that many texts of one
    // name do not try every taken name again; forgotten when it grows.
    const std::string_view extension = convert::textExtensionFor(settings_.text);
    const std::string name = item.kind == InputKind::Address ? textNameForAddress(item.input, extension)
                                                             : textNameForFile(item.input, extension);
    if (namesUsed_.size() >= NamesRemembered)
        namesUsed_.clear();
    int &number = namesUsed_[name];
    base::UniqueFd out = createUniqueFile(*settings_.outDir, name, &path, &error, &number);
    if (!out) {
        item.failure = prefixed(*settings_.outDir + ": " + systemReason(error));
        return false;
    }
    std::optional<CopyFailure> failure = copyAll(text.get(), out.get());
    if (!failure)
        if (const int closeError = out.reset(); closeError != 0)
            failure = CopyFailure{false, closeError};
    if (failure) {
        out.reset();
        ::unlink(path.c_str()); // never half a text
        item.failure =
            prefixed((failure->reading ? item.privateText : path.string()) + ": " + systemReason(failure->error));
        return false;
    }
    return true;
}

void BatchRunner::writeError(const std::string &text)
{
    progress_.clear();
    const std::string line = text + "\n";
    (void)base::WriteAll(STDERR_FILENO, line.data(), line.size());
}

void BatchRunner::standardOutputFailed(int error)
{
    if (error == EPIPE) {
        // The reader has gone: stop as a filter stops, by SIGPIPE.
        stop();
        ::signal(SIGPIPE, SIG_DFL);
        ::raise(SIGPIPE);
    }
    writeError(prefixed("standard output: " + systemReason(error)));
    status_ = 1;
    stop();
    QCoreApplication::exit(status_);
}

void BatchRunner::maybeQuit()
{
    if (!stopping_ && sourceEnded_ && running_ == 0 && window_.empty())
        QCoreApplication::exit(status_);
}

void BatchRunner::updateProgress()
{
    counts_.total = source_->known();
    counts_.totalKnown = source_->allKnown();
    progress_.update(counts_, double(clock_.elapsed()) / 1000.0);
}

void BatchRunner::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    if (progressTimer_)
        progressTimer_->stop();
    progress_.clear();
    for (const auto &slot : slots_)
        slot->job->cancel(); // removes the job's page file and text
    // Conversions under way end at disk speed; their texts are then removed.
    pool_.waitForDone();
    removeLeftovers();
}

void BatchRunner::removeLeftovers()
{
    for (Item &item : window_)
        if (!item.privateText.empty()) {
            ::unlink(item.privateText.c_str());
            item.privateText.clear();
        }
    PageRetrieval::RemoveFetchedPagesFolder();
}

void BatchRunner::endBySignal(int sig)
{
    stop();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    // Not reached for the signals handled here; should the signal have been
    // blocked all along, end as it would have ended the program.
    std::_Exit(128 + sig);
}

} // namespace

unsigned jobsWithinFileLimit(unsigned jobs, std::uint64_t fileLimit, std::uint64_t filesOpen)
{
    if (fileLimit == 0)
        return jobs; // unknown: nothing to go by
    const std::uint64_t reserved = filesOpen + FilesKept;
    const std::uint64_t allowed = fileLimit > reserved ? (fileLimit - reserved) / FilesPerJob : 0;
    return unsigned(std::clamp<std::uint64_t>(allowed, 1, std::max(jobs, 1u)));
}

int runBatch(int argc, char **argv, const RunSettings &settings, std::vector<std::string> inputs,
             std::optional<InputList> list, const FileConversion &convertFile)
{
    RunSettings fitted = settings;
    const std::uint64_t fileLimit = base::RaiseOpenFileLimit();
    fitted.jobs = jobsWithinFileLimit(std::max(1u, settings.jobs), fileLimit, base::CountOpenFds());
    if (fitted.jobs < settings.jobs) {
        const std::string notice =
            prefixed("the open-file limit (" + std::to_string(fileLimit) + ") allows " + std::to_string(fitted.jobs) +
                     " conversions at a time, not " + std::to_string(settings.jobs) + "\n");
        (void)base::WriteAll(STDERR_FILENO, notice.data(), notice.size());
    }
    QCoreApplication app(argc, argv);
    BatchRunner runner(fitted, std::move(inputs), std::move(list), convertFile);
    return runner.run();
}

} // namespace quillan::net
