#pragma once
// The title of an HTML page, as a window names the page: the text of its
// first <title> element within the page's first 64 KiB, white space
// collapsed, the common character references decoded. Decoded as UTF-8 when
// the bytes are valid UTF-8, else as Latin-1. Empty when there is none.

#include <QByteArray>
#include <QString>

namespace quillan {

inline constexpr qsizetype PageTitleScanBytes = 64 * 1024;

QString findPageTitle(const QByteArray &page);
// The same for the page in the file at htmlPath; empty when it cannot be
// read or is no ordinary file (a pipe, a device).
QString readPageTitle(const QString &htmlPath);

} // namespace quillan
