#include "conversion/page_title.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace quillan {

namespace {

// The longest title kept; a window caption shows less.
constexpr qsizetype MaxTitleChars = 200;

QString decodeBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString decodeReference(const QString &name)
{
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return QString();
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
    }
    static const struct {
        const char *name;
        char16_t text;
    } named[] = {{"amp", u'&'}, {"lt", u'<'}, {"gt", u'>'}, {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u' '}};
    for (const auto &entry : named) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return QString(QChar(entry.text));
    }
    return QString();
}

QString decodeReferences(const QString &raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('&')) {
            const qsizetype end = raw.indexOf(QLatin1Char(';'), i + 1);
            if (end > i + 1 && end - i <= 10) {
                const QString decoded = decodeReference(raw.mid(i + 1, end - i - 1));
                if (!decoded.isEmpty()) {
                    out += decoded;
                    i = end;
                    continue;
                }
            }
        }
        out += raw[i];
    }
    return out;
}

} // namespace

QString findPageTitle(const QByteArray &page)
{
    const QByteArray head = page.left(PageTitleScanBytes);
    const QByteArray lower = head.toLower();
    qsizetype open = lower.indexOf("<title");
    while (open >= 0 && open + 6 < lower.size() && lower[open + 6] != '>' && lower[open + 6] != ' ' &&
           lower[open + 6] != '\t' && lower[open + 6] != '\n' && lower[open + 6] != '\r')
        open = lower.indexOf("<title", open + 6); // <titles> and the like are other tags
    if (open < 0)
        return QString();
    const qsizetype start = lower.indexOf('>', open);
    if (start < 0)
        return QString();
    const qsizetype end = lower.indexOf("</title", start);
    if (end < 0)
        return QString();
    QString title = decodeReferences(decodeBytes(head.mid(start + 1, end - start - 1))).simplified();
    if (title.size() > MaxTitleChars)
        title = title.left(MaxTitleChars).trimmed();
    return title;
}

QString readPageTitle(const QString &htmlPath)
{
    // Only an ordinary file: opening a pipe would wait for a writer, and a
    // device may never end.
    if (!QFileInfo(htmlPath).isFile())
        return QString();
    QFile file(htmlPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return findPageTitle(file.read(PageTitleScanBytes));
}

} // namespace quillan
