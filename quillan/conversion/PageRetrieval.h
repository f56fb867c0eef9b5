#pragma once
// Fetching a web page for the conversion command: the program-wide page
// buffer and received-bytes count, the fetch itself over the transfer
// control, the received-bytes caption, and the private folder that holds
// fetched pages and the texts made from them. Qt Core only, no windows.
//
// How the main window uses it:
//   FetchPage(url):      r = PageRetrieval::RunFetch(*Inet1, url); on failure
//                        show UnableToRetrieveMessage(txtURL text, r.reason).
//   Inet1_StateChanged:  if (PageRetrieval::ReadCompletedResponse(*Inet1, state))
//                        show lbBytesReceived with BytesReceivedCaption(
//                        ReceivedBytes(), txtURL text).
//   the command:         path = MakeFetchedPagePath(); WritePageFile(path);
//                        convert; delete the page file; ClearPageBuffer().
//   at exit:             RemoveFetchedPagesFolder() (also run by atexit).
//
// Everything runs on the user-interface thread.

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace platform {
class Inet;
}

namespace PageRetrieval {

// The body of the page being fetched or last fetched, bytes exactly as
// received (never decoded). Empty at program start, emptied when each fetch
// starts and by ClearPageBuffer.
const QByteArray &PageBuffer();
void ClearPageBuffer();

// The number of body bytes received for the current (or last) fetch: 0 when
// a fetch starts, then exactly the bytes added to the page buffer.
qint64 ReceivedBytes();

// "1,500 bytes received from " followed by address: the count with its
// digits grouped by thousands with the locale's group separator and no
// decimals. Zero shows as "0".
QString BytesReceivedCaption(qint64 count, const QString &address, const QLocale &locale = QLocale());

// The transfer control's state-change handler's work. For
// platform::icResponseCompleted it reads the whole body with
// GetChunk(1024, icString) into the page buffer, counts its bytes and
// returns true; every other state is ignored (false).
bool ReadCompletedResponse(platform::Inet &inet, short state);

struct FetchResult {
    bool ok = false;
    QString reason; // why it failed, for the user; empty on success
};

// Fetches url, used exactly as given (no scheme added, nothing trimmed):
// empties the page buffer and the count, sets inet.URL, starts a GET, and
// yields to the event loop (sleeping until an event comes) while
// inet.StillExecuting() is true. The completion, including the handler
// above when it is connected to inet's StateChanged, has run when it
// returns. Every failure of the request is a failed result with its reason
// (inet.ResponseInfo()); so is an inet that is still busy with an earlier
// request, which is left running. When inet is destroyed during the wait
// (its window was deleted), it returns a failure at once without touching
// inet again; the caller must then check that its own window still exists.
FetchResult RunFetch(platform::Inet &inet, const QString &url);

// "Quillan was unable to retrieve the web page at " followed by address,
// and the reason on a line of its own below when there is one.
QString UnableToRetrieveMessage(const QString &address, const QString &reason);

// The private folder for fetched pages and their texts: made on first use
// under the system's temporary folder (TMPDIR, else /tmp) with mode 0700,
// then reused for the rest of the run; made afresh if it has gone or is no
// longer a folder of this user's with mode 0700. Empty when it cannot be
// made, with the reason in *error when error is given.
QString FetchedPagesFolder(QString *error = nullptr);

// A fresh path in the private folder ending in ".html", whose name has no
// other dot, and at which neither the page file nor its text file
// (quillan::textPathFor) exists yet. Does not create the file. Empty when
// the folder cannot be made, with the reason in *error when error is given.
QString MakeFetchedPagePath(QString *error = nullptr);

// Writes the page buffer to path as it is (no line end added) into a new
// file of mode 0600. The file is created exclusively: when anything already
// exists at path (a file, a folder, a symbolic link even to nowhere) it is
// neither followed nor touched, and false is returned. On a failure after
// creating it, the file is removed again. false with the reason in *error.
bool WritePageFile(const QString &path, QString *error = nullptr);

// Removes the private folder when it is empty (a text the user kept stays,
// and so does the folder). Returns true when no folder is left to remove;
// the next MakeFetchedPagePath then makes a new one. The program calls it
// when it ends; it is also registered with atexit when a folder is first
// made, so an end through exit() removes an empty folder too.
bool RemoveFetchedPagesFolder();

} // namespace PageRetrieval
