#include "gui/window/App.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>

namespace App {

namespace {
constexpr int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
const char *const BuildDate = "January 9, 2002";
} // namespace

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3 %4").arg(major).arg(minor).arg(revision).arg(QLatin1String(BuildDate));
}

QString Path()
{
    return QCoreApplication::applicationDirPath();
}

QString IconFile(int size)
{
    return QStringLiteral(":/icons/quillan-%1.png").arg(size);
}

namespace {

// The program's icon, read from its files only when a picture is first
// asked for. Every window shares the application's icon, and a platform
// that draws no window icons (offscreen) never asks: the eight pictures
// cost a start-up several milliseconds of PNG decoding otherwise.
class IconFilesEngine : public QIconEngine {
public:
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int size : IconSizes)
            sizes.append(QSize(size, size));
        return sizes;
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded().pixmap(size, mode, state);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return loaded().pixmap(size, scale, mode, state);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QIconEngine *clone() const override { return new IconFilesEngine(*this); }
    QString key() const override { return QStringLiteral("QuillanIconFiles"); }

private:
    const QIcon &loaded()
    {
        if (icon_.isNull()) {
            for (int size : IconSizes)
                icon_.addFile(IconFile(size), QSize(size, size));
        }
        return icon_;
    }

    QIcon icon_;
};

} // namespace

QIcon Icon()
{
    return QIcon(new IconFilesEngine);
}

void Describe()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(Title));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quillan::version::Text));
    QApplication::setWindowIcon(Icon());
}

} // namespace App
