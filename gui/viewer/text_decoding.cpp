#include "gui/viewer/text_decoding.h"

#include <QStringDecoder>

namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined map to
// the control characters of the same number, as the system's own
// conversion does. Every other byte is the Latin-1 character of its number.
constexpr char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char16_t(b));
    }
    return text;
}

} // namespace

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

QString decodeText(const QByteArray &bytes, const QString &encoding)
{
    if (encoding.isEmpty())
        return decodeText(bytes);
    if (encoding.compare(QLatin1String("windows-1252"), Qt::CaseInsensitive) == 0)
        return fromWindows1252(bytes);
    QStringDecoder decoder(encoding.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return decodeText(bytes);
    return decoder.decode(bytes);
}
