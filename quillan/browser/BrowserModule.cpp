#include "browser/BrowserModule.h"

#include "window/ProgramModule.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>

// QtGui's setter of the context every OpenGL context shares with (the getter
// is QOpenGLContext::globalShareContext()). Not in a public header; the
// browser engine declares it the same way.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace BrowserModule {

namespace {

// The browser engine draws through OpenGL contexts that share with one
// global context. Linked into a program, the engine makes that context
// while the application object is being built; loaded later, as here, it
// finds none, warns, and crashes on its first page (Qt 6.4). Setting
// Qt::AA_ShareOpenGLContexts before the application object would have Qt
// make the context at start-up instead, which costs every run about 300 ms
// under Xvfb for a browser most runs never open. So the context is made
// here, as the engine makes it, just before the module (and with it the
// engine) is loaded. When main() did set the attribute, it exists already.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext() || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    static QOpenGLContext *context = nullptr;
    context = new QOpenGLContext();
    context->setFormat(QSurfaceFormat::defaultFormat());
    context->create();
    qt_gl_set_global_share_context(context);
    qAddPostRoutine([] {
        qt_gl_set_global_share_context(nullptr);
        delete context;
        context = nullptr;
    });
}

const QString ModuleFile = QStringLiteral("quillan-browser.so");

struct Module {
    bool tried = false;
    QString error;
    BrowserModuleAbi::WindowFunction window = nullptr;
    BrowserModuleAbi::IfLoadedFunction ifLoaded = nullptr;
};

Module &module()
{
    static Module instance;
    return instance;
}

// Loads the module once. It stays loaded for the rest of the run: the
// engine it starts cannot be shut down and started again in one process.
Module &loadedModule()
{
    Module &m = module();
    if (m.tried)
        return m;
    m.tried = true;
    shareOpenGLContexts();
    QFunctionPointer window = nullptr;
    QFunctionPointer ifLoaded = nullptr;
    if (ProgramModule::load(ModuleFile, BrowserModuleAbi::VersionSymbol, BrowserModuleAbi::Version,
                            {{BrowserModuleAbi::WindowSymbol, &window}, {BrowserModuleAbi::IfLoadedSymbol, &ifLoaded}},
                            &m.error)) {
        m.window = reinterpret_cast<BrowserModuleAbi::WindowFunction>(window);
        m.ifLoaded = reinterpret_cast<BrowserModuleAbi::IfLoadedFunction>(ifLoaded);
    }
    return m;
}

} // namespace

QString modulePath()
{
    return ProgramModule::path(ModuleFile);
}

BrowserWindow *window(BrowserHost &host)
{
    Module &m = loadedModule();
    return m.window ? m.window(&host) : nullptr;
}

BrowserWindow *ifLoaded()
{
    const Module &m = module();
    return m.ifLoaded ? m.ifLoaded() : nullptr;
}

QString loadError()
{
    return module().error;
}

} // namespace BrowserModule
