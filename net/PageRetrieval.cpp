#include "net/PageRetrieval.h"

#include "convert/converter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quillan::net::PageRetrieval {

namespace {

QString pagesFolder; // made on first use; empty until then

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// True when path is a folder (not a link to one) of this user's with mode
// 0700 exactly.
bool isPrivateFolder(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

bool exists(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 || errno != ENOENT;
}

QString randomName(int length)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name;
    for (int i = 0; i < length; ++i)
        name += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))]);
    return name;
}

bool unsafeInFileName(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || c.category() == QChar::Other_Format ||
           c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph ||
           QStringView(u"/\\:*?\"<>|").contains(c);
}

// text made safe as a file name (see SavedTextName); empty when nothing of
// it is left.
QString safeName(const QString &text)
{
    QString name;
    bool space = false;
    for (const QChar c : text) {
        if (c.isSpace() || unsafeInFileName(c)) {
            space = !name.isEmpty();
            continue;
        }
        if (space)
            name += QLatin1Char(' ');
        space = false;
        name += c;
    }
    if (name.size() > MaxSavedNameLength) {
        int cut = MaxSavedNameLength;
        if (name.at(cut - 1).isHighSurrogate())
            --cut;
        name.truncate(cut);
    }
    while (!name.isEmpty() && (name.front() == QLatin1Char('.') || name.front() == QLatin1Char(' ')))
        name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == QLatin1Char('.') || name.back() == QLatin1Char(' ')))
        name.chop(1);
    return name;
}

QString withoutExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

QString CreatePrivateTextFile(QString *error)
{
    const QString folder = FetchedPagesFolder(error);
    if (folder.isEmpty())
        return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = folder + QStringLiteral("/text-") + randomName(12) + QStringLiteral(".TXT");
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            if (error)
                *error = path + QStringLiteral(": ") + systemReason(errno);
            return {};
        }
    }
    if (error)
        *error = QStringLiteral("No fresh name for a text could be found in %1").arg(folder);
    return {};
}

QString SavedTextName(const QString &title, const QString &address, const QString &extension)
{
    QString name = safeName(title);
    if (name.isEmpty()) {
        const QUrl url(address);
        name = safeName(withoutExtension(url.fileName(QUrl::FullyDecoded)));
        if (name.isEmpty())
            name = safeName(url.host());
    }
    if (name.isEmpty())
        name = QStringLiteral("page");
    return name + QLatin1Char('.') + extension;
}

SavePlace SavePlaceFor(const QString &title, const QString &address, const QString &htmlPath, const QString &extension)
{
    if (address.isEmpty()) {
        const QFileInfo html(htmlPath);
        return {html.absolutePath(),
                SavedTextName(title, QUrl::fromLocalFile(html.absoluteFilePath()).toString(), extension)};
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return {folder, SavedTextName(title, address, extension)};
}

QString GroupedCount(qint64 count, const QLocale &locale)
{
    QLocale grouping = locale;
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(count);
}

QString BytesReceivedCaption(qint64 count, const QString &address, const QLocale &locale)
{
    return GroupedCount(count, locale) + QStringLiteral(" bytes received from ") + address;
}

int CreatePageFile(const QString &path, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && error)
        *error = systemReason(errno);
    return fd;
}

QString UnableToRetrieveMessage(const QString &address, const QString &reason)
{
    QString text = QStringLiteral("Quillan was unable to retrieve the web page at ") + address;
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

QString RefusedTypeReason(const QByteArray &contentType)
{
    const qsizetype semicolon = contentType.indexOf(';');
    const QByteArray type = (semicolon < 0 ? contentType : contentType.first(semicolon)).trimmed().toLower();
    const qsizetype slash = type.indexOf('/');
    const auto isToken = [](const QByteArray &part) {
        static const QByteArray others = "!#$%&'*+-.^_`|~";
        return !part.isEmpty() && std::all_of(part.begin(), part.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || others.contains(c);
        });
    };
    if (slash < 0 || !isToken(type.left(slash)) || !isToken(type.mid(slash + 1)))
        return {};
    if (type.startsWith("text/") || type == "application/xhtml+xml")
        return {};
    return QStringLiteral("The page is of type %1, which is not HTML or text").arg(QString::fromLatin1(type));
}

QString FetchedPagesFolder(QString *error)
{
    if (!pagesFolder.isEmpty() && isPrivateFolder(pagesFolder))
        return pagesFolder;
    pagesFolder.clear();
    // Qt gives no temporary folder when TMPDIR names one that does not
    // exist; the folder must then not be made at the root instead.
    const QString base = QDir::tempPath();
    if (base.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot make a folder in %1: %2")
                         .arg(qEnvironmentVariable("TMPDIR"), systemReason(ENOENT));
        return {};
    }
    QByteArray pattern = QFile::encodeName(base + QStringLiteral("/quillan-XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        if (error)
            *error = QStringLiteral("Cannot make a folder in %1: %2").arg(base, systemReason(errno));
        return {};
    }
    // mkdtemp gives 0700 less the umask; the folder needs exactly 0700.
    if (::chmod(pattern.constData(), 0700) != 0) {
        const int saved = errno;
        ::rmdir(pattern.constData());
        if (error)
            *error = systemReason(saved);
        return {};
    }
    pagesFolder = QFile::decodeName(pattern);
    // However the program ends through exit(), the folder goes if it is empty.
    static const bool removedAtExit = std::atexit([] { RemoveFetchedPagesFolder(); }) == 0;
    Q_UNUSED(removedAtExit);
    return pagesFolder;
}

QString MakeFetchedPagePath(QString *error)
{
    const QString folder = FetchedPagesFolder(error);
    if (folder.isEmpty())
        return {};
    // A clash of 12 random letters and digits is next to impossible; the
    // limit only keeps a broken folder from looping for ever.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = folder + QStringLiteral("/page-") + randomName(12) + QStringLiteral(".html");
        const std::filesystem::path page(QFile::encodeName(path).toStdString());
        const QString textPath =
            QFile::decodeName(QByteArray::fromStdString(quillan::convert::textPathFor(page).native()));
        if (!exists(path) && !exists(textPath))
            return path;
    }
    if (error)
        *error = QStringLiteral("No fresh name for a page could be found in %1").arg(folder);
    return {};
}

bool RemoveFetchedPagesFolder()
{
    if (pagesFolder.isEmpty())
        return true;
    // Only a folder that is still the private one is emptied: one replaced
    // by something else meanwhile is not this program's to remove.
    if (isPrivateFolder(pagesFolder) && !QDir(pagesFolder).removeRecursively())
        return false;
    pagesFolder.clear();
    return true;
}

} // namespace quillan::net::PageRetrieval
