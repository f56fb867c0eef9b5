#include "window/App.h"

#include <QApplication>

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

QIcon Icon()
{
    QIcon icon;
    for (int size : IconSizes)
        icon.addFile(IconFile(size), QSize(size, size));
    return icon;
}

void Describe()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(Title));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(quillan::version::Text));
    QApplication::setWindowIcon(Icon());
}

} // namespace App
