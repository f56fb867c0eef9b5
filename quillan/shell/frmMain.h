#pragma once
// The main window: the input area of the "HTML to Text" command (a web
// address or an HTML file on disk), the menus that open the browser, the
// About box and the publisher's site, help, and the two ways of quitting.
//
// One main window at a time: reach it through FormInstance<frmMain>::get().
// Pressing btnHTMLtoText (a click, Enter in either box, or click() from
// code) runs the whole conversion command and returns only after the
// viewer it opens has been closed.

#include <QString>
#include <QWidget>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;

class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Controls of the input area.
    QFrame *fraMain = nullptr;
    QLabel *Label1 = nullptr;
    QRadioButton *optURL = nullptr;
    QRadioButton *optGetFile = nullptr;
    QLineEdit *txtURL = nullptr;
    QLineEdit *txtGetFile = nullptr;
    QPushButton *btnHTMLtoText = nullptr;
    QPushButton *btnQuit = nullptr;
    QLabel *lbBytesReceived = nullptr;

    // Menus.
    QMenuBar *menuBar = nullptr;
    QMenu *Browser = nullptr;
    QAction *OpenBrowser = nullptr;
    QMenu *About = nullptr;
    QAction *showAbout = nullptr;
    QAction *Fennick = nullptr;
    QMenu *Help = nullptr;
    QAction *Contents = nullptr;
    QAction *Quit = nullptr;

    // ConnectedOnline of Netvane1, read late-bound by its dispatch identifier.
    // `online` is false when the control is missing or the read fails, and
    // `cause` then says why (it is empty when the read succeeded).
    struct ConnectionReading {
        bool online = false;
        QString cause;
    };
    ConnectionReading readConnectedOnline();

    // Handlers.
    void Form_Load();
    void Form_Unload();
    void OpenBrowser_Click();
    void showAbout_Click();
    void Fennick_Click();
    void Contents_Click();
    void Quit_Click();
    void btnQuit_Click();
    void optURL_Click();
    void optGetFile_Click();
    void btnHTMLtoText_Click();

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
};
