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

namespace quillan::net::PageRetrieval {

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
// made (also when TMPDIR names no folder), with the reason in *error when
// error is given.
QString FetchedPagesFolder(QString *error = nullptr);

// A fresh path in the private folder ending in ".html", whose name has no
// other dot, and at which neither the page file nor its text file
// (quillan::convert::textPathFor) exists yet. Does not create the file. Empty when
// the folder cannot be made, with the reason in *error when error is given.
QString MakeFetchedPagePath(QString *error = nullptr);

// Creates the page file at path, new and of mode 0600, for writing, and
// returns its descriptor (close-on-exec). It is created exclusively: when
// anything already exists at path (a file, a folder, a symbolic link even to
// nowhere) it is neither followed nor touched, and -1 is returned with the
// reason in *error when error is given.
int CreatePageFile(const QString &path, QString *error = nullptr);

// Creates a new, empty text file of mode 0600 in the private folder, named
// "text-RANDOM.TXT", exclusively (a name already taken is never reused), and
// returns its path; the caller fills it and removes it. Empty when none can
// be made, with the reason in *error when error is given. For the text of a
// file whose own text path is already taken by a file of the user's.
QString CreatePrivateTextFile(QString *error = nullptr);

// Where Save starts for a text of the private folder, and the file name it
// proposes there.
struct SavePlace {
    QString folder;
    QString fileName;
};

// For the text of the page at address (a fetched page) or in the file at
// htmlPath (address empty): a fetched page's text is proposed in the user's
// documents folder (QStandardPaths::DocumentsLocation, else the home
// folder when that does not exist), a file's in the file's own folder. The
// name is SavedTextName of the page's title and the address, or of the
// title and the file, with the extension given.
SavePlace SavePlaceFor(const QString &title, const QString &address, const QString &htmlPath,
                       const QString &extension = QStringLiteral("txt"));

// A file name for a saved text: the page's title made safe as a file name,
// else the last segment of the address's path (for a file, its name) without
// its extension, else the address's host, else "page"; with "." and the
// extension (".txt" for plain text, ".md" for Markdown). Safe:
// no "/", "\", ":", "*", "?", """, "<", ">", "|" or control character
// (each becomes a space), white space folded, no dot or space at either end
// (so never hidden, never "." or ".."), at most MaxSavedNameLength
// characters before the extension.
QString SavedTextName(const QString &title, const QString &address, const QString &extension = QStringLiteral("txt"));
inline constexpr int MaxSavedNameLength = 120;

// The count with its digits grouped by thousands, as captions show it.
QString GroupedCount(qint64 count, const QLocale &locale = QLocale());

// Removes the private folder with everything in it (a text kept with Save
// has been copied where the user chose; the copy here is nobody's).
// Returns true when no folder is left; the next MakeFetchedPagePath then
// makes a new one. The program calls it when it ends; it is also registered
// with atexit when a folder is first made, so an end through exit() removes
// it too.
bool RemoveFetchedPagesFolder();

} // namespace quillan::net::PageRetrieval
