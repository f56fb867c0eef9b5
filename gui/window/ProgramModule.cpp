#include "gui/window/ProgramModule.h"

#include <QCoreApplication>
#include <QLibrary>

ProgramModule::ProgramModule(QString fileName, const char *versionSymbol, int version)
    : fileName_(std::move(fileName)), versionSymbol_(versionSymbol), version_(version)
{}

QString ProgramModule::path() const
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + fileName_;
}

bool ProgramModule::load(std::initializer_list<std::pair<const char *, QFunctionPointer *>> entries)
{
    if (tried_)
        return loaded_;
    tried_ = true;
    for (const auto &[symbol, entry] : entries)
        *entry = nullptr;
    // A QLibrary going out of scope leaves its library loaded.
    QLibrary library(path());
    if (!library.load()) {
        error_ = library.errorString();
        return false;
    }
    using VersionFunction = int (*)();
    const auto versionOf = reinterpret_cast<VersionFunction>(library.resolve(versionSymbol_));
    if (!versionOf || versionOf() != version_) {
        error_ = QStringLiteral("%1 was built for another version of Quillan.").arg(path());
        return false;
    }
    for (const auto &[symbol, entry] : entries) {
        *entry = library.resolve(symbol);
        if (!*entry) {
            error_ = library.errorString();
            for (const auto &[unused, other] : entries)
                *other = nullptr;
            return false;
        }
    }
    loaded_ = true;
    return true;
}
