#include "gui/window/HtmlHelp.h"

#include "gui/window/HtmlHelpWindow.h"

#include "platform/htmlhelp/ChmFile.h"

#include <QApplication>
#include <QFile>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

QWidget *HtmlHelp(QWidget *owner, const QString &helpFile, quint32 command, qint32 data)
{
    if (command != HH_DISPLAY_TOPIC && command != HH_HELP_CONTEXT)
        return nullptr;

    // The file is read afresh on every request, so a help file replaced
    // while the program runs is shown as it is now.
    const std::filesystem::path path(QFile::encodeName(helpFile).toStdString());
    std::shared_ptr<const platform::htmlhelp::ChmFile> file = platform::htmlhelp::ChmFile::open(path);
    if (!file)
        return nullptr;

    const std::optional<std::string> topic =
        command == HH_HELP_CONTEXT ? file->topicForContext(data) : file->defaultTopic();

    // Owned by the owner's window. Without an owner the window belongs to a
    // modal window that is running, if any: any other window would be
    // blocked by it and could not be read or closed.
    QWidget *ownerWindow = owner != nullptr ? owner->window() : QApplication::activeModalWidget();
    HtmlHelpWindow *window = HtmlHelpWindow::forOwner(ownerWindow);
    window->setHelpFile(std::move(file), helpFile);
    if (!topic) {
        window->showMissingTopic(command == HH_HELP_CONTEXT ? std::optional<qint32>(data) : std::nullopt);
        window->present();
        return nullptr;
    }
    window->showTopic(*topic);
    window->present();
    return window;
}
