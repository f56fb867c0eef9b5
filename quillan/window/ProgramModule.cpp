#include "window/ProgramModule.h"

#include <QCoreApplication>
#include <QLibrary>

namespace ProgramModule {

QString path(const QString &fileName)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + fileName;
}

bool load(const QString &fileName, const char *versionSymbol, int version,
          std::initializer_list<std::pair<const char *, QFunctionPointer *>> entries, QString *error)
{
    for (const auto &[symbol, entry] : entries)
        *entry = nullptr;
    // A QLibrary going out of scope leaves its library loaded.
    QLibrary library(path(fileName));
    if (!library.load()) {
        *error = library.errorString();
        return false;
    }
    using VersionFunction = int (*)();
    const auto versionOf = reinterpret_cast<VersionFunction>(library.resolve(versionSymbol));
    if (!versionOf || versionOf() != version) {
        *error = QStringLiteral("%1 was built for another version of Quillan.").arg(path(fileName));
        return false;
    }
    for (const auto &[symbol, entry] : entries) {
        *entry = library.resolve(symbol);
        if (!*entry) {
            *error = library.errorString();
            for (const auto &[unused, other] : entries)
                *other = nullptr;
            return false;
        }
    }
    return true;
}

} // namespace ProgramModule
