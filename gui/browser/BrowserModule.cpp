#include "gui/browser/BrowserModule.h"

#include "gui/window/ProgramModule.h"

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

// The module stays loaded for the rest of the run: the engine it starts
// cannot be shut down and started again in one process.
struct Module {
    ProgramModule file{QStringLiteral("quillan-browser.so"), BrowserModuleAbi::VersionSymbol,
                       BrowserModuleAbi::Version};
    QFunctionPointer window = nullptr;
    QFunctionPointer ifLoaded = nullptr;
};

Module &module()
{
    static Module instance;
    return instance;
}

} // namespace

QString modulePath()
{
    return module().file.path();
}

BrowserWindow *window(BrowserHost &host)
{
    Module &m = module();
    if (!m.file.tried())
        shareOpenGLContexts();
    m.file.load({{BrowserModuleAbi::WindowSymbol, &m.window}, {BrowserModuleAbi::IfLoadedSymbol, &m.ifLoaded}});
    const auto entry = reinterpret_cast<BrowserModuleAbi::WindowFunction>(m.window);
    return entry ? entry(&host) : nullptr;
}

BrowserWindow *ifLoaded()
{
    const auto entry = reinterpret_cast<BrowserModuleAbi::IfLoadedFunction>(module().ifLoaded);
    return entry ? entry() : nullptr;
}

QString loadError()
{
    return module().file.error();
}

} // namespace BrowserModule
