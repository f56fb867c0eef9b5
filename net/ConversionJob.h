#pragma once
// The conversion job: one run of "HTML to Text" without a window. Given an
// address it fetches the page, streaming the body into a private page file,
// converts that file and hands the text's path over; given an HTML file on
// disk it converts that file into the text beside it. Every front end (the
// main window, the browser through it, the command line) runs conversions
// through a job. Qt Core and Network only.
//
// How a front end uses it:
//   job.setLimits(limits);                 // optional, before a start
//   job.convertAddress(url) / convertFile(path);
//   progress(bytes, url)  -> show the count while the body arrives
//   textReady(textPath)   -> the text is the receiver's from now on, and
//                            result() what its conversion learnt
//   failed(message, reason) -> tell the user; the job's files are gone
//   cancel() or destroying the job -> cancelled(), the job's files are gone
//
// Exactly one of textReady, failed and cancelled ends every start, always
// after the starting call has returned (never from inside it). One run at a
// time: a start while the job runs is ignored (returns false). The job does
// not ask whether the machine is online; a front end that wants that check
// makes it before starting.
//
// Files: a fetched page is written, as it arrives, to a fresh file of mode
// 0600 in the private folder (PageRetrieval::FetchedPagesFolder); the page
// file is removed as soon as the conversion has ended, whatever its outcome,
// and the text lies beside it. A file on disk is converted into the text
// beside it, unless something already exists at that text path (the user's
// own notes, say): that is left untouched and the text goes to a new file
// of the private folder instead (PageRetrieval::CreatePrivateTextFile).
// After a failure or a cancel neither the page file nor a text the job made
// is left. A text handed over by textReady is no longer the job's: the
// receiver removes it when done.
//
// Threads: the job lives on the thread that made it and signals there. Every
// page or file is converted on a worker thread, so the caller's event loop
// keeps running; cancel() and the destructor then wait for the converter to
// finish the file it is on (it runs at disk speed) before they remove the
// files.

#include "net/PageRetrieval.h"
#include "text/conversion.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace platform {
class Inet;
}
class QThread;
class QTimer;

namespace quillan::net {

// Bounds of one fetch.
struct FetchLimits {
    // A body longer than this ends the fetch: "The page is larger than N MiB".
    // The program reads it from the registry (readFetchLimits).
    qint64 maxBytes = 256 * 1024 * 1024;
    // No data for this long ends the fetch ("Timed out after N seconds").
    std::chrono::seconds silence{60};
    // The whole fetch, from the request to the last byte, ends after this
    // long even while data keeps trickling in ("Took longer than N
    // seconds"). Fifteen minutes let the largest allowed page arrive at
    // about 300 kB/s.
    std::chrono::seconds deadline{15 * 60};
    // Redirects followed in a row before the fetch fails.
    int maxRedirects = 10;
};

// The defaults, with maxBytes taken from the DWORD value MaxPageMiB (MiB,
// at least 1) under HKEY_CURRENT_USER\Software\Fennick\Quillan when it is
// there.
FetchLimits readFetchLimits();
inline constexpr const char *ProgramRegistryKey = "Software\\Fennick\\Quillan";
inline constexpr const char *MaxPageMiBValue = "MaxPageMiB";

// The longest address a job accepts; a longer one fails at once.
inline constexpr int MaxAddressLength = 32767;

class ConversionJob : public QObject {
    Q_OBJECT
public:
    explicit ConversionJob(QObject *parent = nullptr);
    // Cancels a running conversion (without signalling) and removes its
    // files. Safe from a slot of the job's own signals.
    ~ConversionJob() override;

    void setLimits(const FetchLimits &limits) { limits_ = limits; }
    const FetchLimits &limits() const { return limits_; }
    // The kind of text the job makes (text/conversion.h; the stripped text
    // unless told), with its links and width. The page's charset, address
    // and title search are the job's own: a fetched page is decoded by its
    // response's charset and its links resolved against the address it
    // came from, a file on disk by its bytes alone; the title is always
    // looked for.
    void setTextOptions(const text::Options &options) { options_ = options; }
    const text::Options &textOptions() const { return options_; }

    // Fetches address (used exactly as given) into a private page file and
    // converts it. A response whose type is neither HTML, XHTML nor text
    // (PageRetrieval::RefusedTypeReason) is not a page. Failures: the message
    // "Quillan was unable to retrieve the web page at ADDRESS" with the
    // fetch's reason (an address longer than
    // MaxAddressLength is cut in the message and refused without a request,
    // and so is an empty one or one of white space alone, with "No address
    // was given.");
    // "Quillan could not convert the HTML file to text." with the reason when
    // no page file can be made or the conversion fails.
    bool convertAddress(const QString &address);

    // Converts the HTML file at htmlPath into the text beside it (the text
    // path rule of quillan::convert::textPathFor); when anything is already at that
    // path, it is left alone and the text goes to a new file of the private
    // folder (textIsPrivate()).
    // Failures: "Quillan could not convert the HTML file to text." with
    // "PATH: reason" (just the reason when no path is concerned).
    bool convertFile(const QString &htmlPath);

    // Ends a running conversion with cancelled() and no message; the page
    // file and any text it made are removed. Nothing happens when idle.
    void cancel();

    bool isRunning() const { return running_; }

    // Of the text last handed over by textReady: what its conversion learnt
    // (the page's encoding and the text's, the page's title, the article
    // chosen); the title of its page (text/page_title.h), empty when the page
    // has none; the encoding of the text (a WHATWG name, empty when not
    // known); the syntax it is written in; whether it
    // lies in the private folder (a fetched page's text, or a file's whose
    // text path was taken), which is removed when the program ends; and
    // where Save best starts for it and the name it proposes
    // (PageRetrieval::SavePlaceFor; ending in ".md" for Markdown, else
    // ".txt").
    const text::Result &result() const { return result_; }
    QString pageTitle() const { return QString::fromStdString(result_.title); }
    QString textEncoding() const { return QString::fromStdString(result_.textEncoding); }
    text::Syntax textSyntax() const { return textSyntax_; }
    bool textIsPrivate() const { return textPrivate_; }
    PageRetrieval::SavePlace savePlace() const;

    // The charset parameter of the Content-Type of the last response
    // received (without quotes, as sent); empty when there was none.
    QByteArray httpCharset() const { return charset_; }

signals:
    // While the body arrives: the bytes received so far and the address the
    // fetch was started with.
    void progress(qint64 receivedBytes, const QString &address);
    // The page or file is complete and its conversion begins.
    void converting();
    void textReady(const QString &textPath);
    void failed(const QString &message, const QString &reason);
    void cancelled();

private:
    struct Worker;

    void onState(short state);
    void onData(const QByteArray &piece);
    void onDeadline();
    void startConversion(const QString &htmlPath);
    void finishConversion();
    void failFetch(const QString &reason);
    void fail(const QString &message, const QString &reason);
    void stopEverything();
    void removeFiles();

    FetchLimits limits_;
    text::Options options_;
    text::Result result_;
    text::Syntax textSyntax_ = text::Syntax::Plain; // of the text being made or last handed over
    platform::Inet *inet_ = nullptr;
    QTimer *deadline_ = nullptr;
    bool running_ = false;
    QString address_;
    QString pagePath_; // the job's own page file, while it exists
    QString textPath_; // the text being made, until handed over
    QString source_;   // the file converted (the page file when fetched)
    bool textPrivate_ = false;
    int pageFd_ = -1;
    qint64 received_ = 0;
    QByteArray charset_;
    QString responseAddress_; // where the response came from, after redirects
    std::unique_ptr<Worker> worker_;
};

// The message every failure of the conversion itself starts with.
inline constexpr const char *ConversionFailedMessage = "Quillan could not convert the HTML file to text.";

} // namespace quillan::net
