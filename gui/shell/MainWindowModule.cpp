// The program's loader of the main window module (see MainWindowModule.h).
#include "gui/shell/MainWindowModule.h"

#include "gui/window/ProgramModule.h"

namespace MainWindowModule {

namespace {

// The process's one main window module; it stays loaded to the end of the
// run, as the windows it makes do.
struct Module {
    ProgramModule file{QStringLiteral("quillan-main.so"), Abi::VersionSymbol, Abi::Version};
    QFunctionPointer show = nullptr;
    QFunctionPointer end = nullptr;
};

Module &module()
{
    static Module instance;
    return instance;
}

} // namespace

bool load(QString *error)
{
    Module &m = module();
    if (m.file.load({{Abi::ShowSymbol, &m.show}, {Abi::EndSymbol, &m.end}}))
        return true;
    if (error)
        *error = m.file.error();
    return false;
}

void show(const QString &helpFilePath)
{
    if (const auto entry = reinterpret_cast<Abi::ShowFunction>(module().show))
        entry(&helpFilePath);
}

void end()
{
    if (const auto entry = reinterpret_cast<Abi::EndFunction>(module().end))
        entry();
}

} // namespace MainWindowModule
