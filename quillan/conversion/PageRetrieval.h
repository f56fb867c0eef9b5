#pragma once
// What the conversion job and its front ends share about fetched pages: the
// received-bytes caption, the retrieval message, and the private folder that
// holds fetched pages and the texts made from them. Qt Core only, no
// windows.
//
// The private folder is made on first use and lives for the run; the
// program removes it with everything in it when it ends.

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace PageRetrieval {

// "1,500 bytes received from " followed by address: the count with its
// digits grouped by thousands with the locale's group separator and no
// decimals. Zero shows as "0".
QString BytesReceivedCaption(qint64 count, const QString &address, const QLocale &locale = QLocale());

// "Quillan was unable to retrieve the web page at " followed by address,
// and the reason on a line of its own below when there is one.
QString UnableToRetrieveMessage(const QString &address, const QString &reason);

// Why a response whose Content-Type is contentType (as sent) is not taken
// for a page, such as "The page is of type image/gif, which is not HTML or
// text"; empty when it is taken: HTML, XHTML, any text/ type, and a
// missing or unreadable type (the body then speaks for itself).
QString RefusedTypeReason(const QByteArray &contentType);

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

// Creates the page file at path, new and of mode 0600, for writing, and
// returns its descriptor (close-on-exec). It is created exclusively: when
// anything already exists at path (a file, a folder, a symbolic link even to
// nowhere) it is neither followed nor touched, and -1 is returned with the
// reason in *error when error is given.
int CreatePageFile(const QString &path, QString *error = nullptr);

// The count with its digits grouped by thousands, as captions show it.
QString GroupedCount(qint64 count, const QLocale &locale = QLocale());

// Removes the private folder with everything in it (a text kept with Save
// has been copied where the user chose; the copy here is nobody's).
// Returns true when no folder is left; the next MakeFetchedPagePath then
// makes a new one. The program calls it when it ends; it is also registered
// with atexit when a folder is first made, so an end through exit() removes
// it too.
bool RemoveFetchedPagesFolder();

} // namespace PageRetrieval
