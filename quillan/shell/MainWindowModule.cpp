// The program's loader of the main window module (see MainWindowModule.h).
#include "shell/MainWindowModule.h"

#include "window/ProgramModule.h"

namespace MainWindowModule {

namespace {

struct Module {
    bool tried = false;
    QString error;
    Abi::ShowFunction show = nullptr;
    Abi::EndFunction end = nullptr;
};

// The process's one module, loaded once; it stays loaded to the end of the
// run, as the windows it makes do.
Module &module()
{
    static Module instance;
    return instance;
}

Module &loadedModule()
{
    Module &m = module();
    if (m.tried)
        return m;
    m.tried = true;
    QFunctionPointer show = nullptr;
    QFunctionPointer end = nullptr;
    if (ProgramModule::load(QStringLiteral("quillan-main.so"), Abi::VersionSymbol, Abi::Version,
                            {{Abi::ShowSymbol, &show}, {Abi::EndSymbol, &end}}, &m.error)) {
        m.show = reinterpret_cast<Abi::ShowFunction>(show);
        m.end = reinterpret_cast<Abi::EndFunction>(end);
    }
    return m;
}

} // namespace

bool load(QString *error)
{
    const Module &m = loadedModule();
    if (!m.show && error)
        *error = m.error;
    return m.show != nullptr;
}

void show(const QString &helpFilePath)
{
    if (const Module &m = module(); m.show)
        m.show(&helpFilePath);
}

void end()
{
    if (const Module &m = module(); m.end)
        m.end();
}

} // namespace MainWindowModule
