#pragma once
// The program's side of the browser module: the browser window reaches the
// main window, help and the program's folder through this.

#include "gui/browser/BrowserInterfaces.h"

class MainWindowHost final : public BrowserHost {
public:
    // The one host of the run, handed to the module by BrowserModule.
    static MainWindowHost &instance();

    // Through MainWindow::convertAddress; whenEnded on its commandEnded.
    void convertAddress(const QString &address, std::function<void()> whenEnded) override;
    // FormInstance<MainWindow>, created afresh when it had been closed.
    void showMainWindow() override;
    // ShowHelp with the program's HelpFilePath and no owner window.
    void showHelp(qint32 contextId) override;
    QString programFolder() const override;
};
