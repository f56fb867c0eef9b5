#pragma once
// Fonts and colours of the program's windows, as the window tables give
// them: fonts requested by family name (fontconfig substitutes metric
// look-alikes where the family is missing) and colours written as
// blue-green-red hexadecimal values.

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QString>
#include <QWidget>

namespace Look {

inline constexpr unsigned Navy = 0x800000;      // RGB 0, 0, 128
inline constexpr unsigned LightGrey = 0xE0E0E0; // RGB 224, 224, 224
inline constexpr unsigned Silver = 0xC0C0C0;    // RGB 192, 192, 192
inline constexpr unsigned Grey = 0x808080;      // RGB 128, 128, 128
inline constexpr unsigned White = 0xFFFFFF;     // RGB 255, 255, 255

// A colour written as a blue-green-red value (0xBBGGRR).
inline QColor fromBgr(unsigned bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// The font `family` at `points`. Where the family itself is missing, a
// look-alike of about the same width stands in ("MS Sans Serif" has no
// metric alias in the font configuration, whose default sans serif is much
// wider and would cut captions short); the style hint covers the rest.
//
// Only installed families are named: a missing one, asked for first, has
// Qt sort every font for its fallbacks, about a millisecond for each new
// font while the first windows come up. When none is installed the list
// stays whole and the font configuration substitutes as it can.
inline QFont font(const QString &family, double points, bool bold = false, bool italic = false)
{
    QFont f(family);
    QStringList families{family};
    if (family.startsWith(QLatin1String("Courier"))) {
        f.setStyleHint(QFont::TypeWriter);
    } else if (family.startsWith(QLatin1String("Comic"))) {
        f.setStyleHint(QFont::Cursive);
        families.append(QStringLiteral("Comic Neue"));
    } else {
        f.setStyleHint(QFont::SansSerif);
        families.append({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    }
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        const QStringList installed = QFontDatabase::families();
        QStringList present;
        for (const QString &name : families)
            if (installed.contains(name, Qt::CaseInsensitive))
                present.append(name);
        if (!present.isEmpty())
            families = present;
    }
    if (families.size() > 1 || families.front() != family)
        f.setFamilies(families);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

// The controls' usual font, MS Sans Serif 8.25 pt.
inline QFont sansSerif(double points = 8.25, bool bold = false)
{
    return font(QStringLiteral("MS Sans Serif"), points, bold);
}

// Comic Sans MS, the splash's and the About box's captions.
inline QFont comic(double points, bool bold = false, bool italic = false)
{
    return font(QStringLiteral("Comic Sans MS"), points, bold, italic);
}

// Courier New at `points`, fixed pitch and normal weight: the viewer's text.
inline QFont courier(double points)
{
    QFont f = font(QStringLiteral("Courier New"), points);
    f.setFixedPitch(true);
    f.setWeight(QFont::Normal);
    return f;
}

// Sets one colour role of a widget in every colour group, so that the
// colour holds when the widget is disabled or loses the focus too.
inline void setColour(QWidget *widget, QPalette::ColorRole role, unsigned bgr)
{
    QPalette palette = widget->palette();
    palette.setColor(role, fromBgr(bgr));
    widget->setPalette(palette);
}

} // namespace Look
