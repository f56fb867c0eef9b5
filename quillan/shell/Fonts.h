#pragma once
// Fonts asked for by their family name, as the window tables give them.
// Where a family is missing the system's font configuration picks its
// stand-in (fonts-comic-neue for "Comic Sans MS", a sans serif for
// "MS Sans Serif"); the style hint steers that choice.

#include <QFont>
#include <QString>

namespace Fonts {

inline QFont named(const QString &family, double points, bool bold = false, bool italic = false)
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace Fonts
