#pragma once
// The main window: the input area of the "HTML to Text" command (a web
// address or an HTML file on disk), the menus that open the browser, the
// About box and the publisher's site, help, and the two ways of quitting.
//
// One main window at a time: reach it through FormInstance<MainWindow>::get().
// Creating it loads it (its controls, and three connection-state controls
// created through the component runtime by "Vanelink.Netvane"); a window
// whose component controls cannot be created still opens.
//
// The check boxes chkReadable and chkArticle choose the kind of text every
// conversion of the window makes (the browser's convert button included, as
// it converts through convertAddress): both unticked, the page with its tags
// stripped; "Readable text" ticked, the readable text; "Article only" ticked
// as well, only the page's main content, rendered as the readable text is.
// chkMarkdown ("Markdown") writes either readable kind as Markdown instead
// of plain text (quillan::text::Syntax::Markdown).
// The article and Markdown need the readable text: ticking chkArticle or
// chkMarkdown ticks chkReadable, and clearing chkReadable clears both. All
// three are remembered per user: the REG_DWORDs ReadableText, ArticleOnly
// and Markdown (0 or 1) under HKEY_CURRENT_USER\Software\Fennick\Quillan
// are read when the window loads (missing: unticked; an ArticleOnly or a
// Markdown without ReadableText ticks the readable text too) and written
// whenever a box is toggled.
//
// Pressing btnHTMLtoText (a click, Enter in either box, or click() from
// code) starts the conversion command: the checks and their messages run at
// once, then a conversion job (quillan::net::ConversionJob) fetches and converts
// while the event loop runs, and the text opens in the viewer, modal. The
// command ends, with commandEnded(), when the viewer has been closed or the
// command's message dismissed; Esc or closing the window during a fetch
// cancels it without a message. While one command runs, pressing the
// button again does nothing.

#include <QString>
#include <QWidget>

#include <memory>

class ComControl;
namespace quillan::net {
class ConversionJob;
}
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Controls of the input area, inside the frame fraMain.
    QFrame *fraMain = nullptr;
    QLabel *Label1 = nullptr;
    QRadioButton *optURL = nullptr;
    QRadioButton *optGetFile = nullptr;
    QLineEdit *txtURL = nullptr;
    QLineEdit *txtGetFile = nullptr;
    QCheckBox *chkReadable = nullptr;
    QCheckBox *chkArticle = nullptr;
    QCheckBox *chkMarkdown = nullptr;
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

    // The conversion job of the command (one at a time).
    quillan::net::ConversionJob *job() const { return job_; }

    // The connection-state controls; only Netvane1 is ever read.
    std::unique_ptr<ComControl> Netvane1;
    std::unique_ptr<ComControl> Netvane3;
    std::unique_ptr<ComControl> Netvane4;

    // The file the open-file dialog last returned; offered again, and
    // returned again after a cancel.
    QString CommonDialog1FileName;

    // ConnectedOnline of Netvane1, read late-bound by its dispatch identifier.
    // `online` is false when the control is missing or the read fails, and
    // `cause` then says why (it is empty when the read succeeded).
    struct ConnectionReading {
        bool online = false;
        QString cause;
    };
    ConnectionReading readConnectedOnline();

    // True while the conversion command runs (viewer included).
    bool commandRunning() const { return commandRunning_; }

    // Converts the page at address by the conversion command, showing it as
    // if the user had typed it: the address in txtURL, URL mode chosen.
    // False, doing
    // nothing, while a command runs; otherwise commandEnded() follows once
    // the command (its viewer or message included) has ended.
    bool convertAddress(const QString &address);

    // Handlers of the window.
    void Form_Load();
    void Form_KeyUp(int KeyCode, int Shift);
    void Form_Unload();
    void Form_Terminate();
    void OpenBrowser_Click();
    void showAbout_Click();
    void Fennick_Click();
    void Contents_Click();
    void Quit_Click();
    void btnQuit_Click();

    // Handlers of the input area and the conversion command.
    void optURL_Click();
    void optGetFile_Click();
    void txtURL_KeyPress(int KeyAscii);
    void txtGetFile_KeyPress(int KeyAscii);
    void chkReadable_Click();
    void chkArticle_Click();
    void chkMarkdown_Click();
    void btnHTMLtoText_Click();

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();
    // The conversion command started by the button has ended.
    void commandEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupWindow();
    void setupMenus();
    void setupInputArea();
    void setupCommandButtons();
    void createComponentControls();
    void connectHandlers();

    // The conversion command: its start on either road, and the job's ends.
    void createConversionJob();
    bool startFromUrl();
    void showProgress(qint64 receivedBytes);
    void showText(const QString &textPath);
    QString pageName() const;
    void showFailure(const QString &message, const QString &reason);
    void endCommand();

    quillan::net::ConversionJob *job_ = nullptr;
    bool commandRunning_ = false;
    bool commandFetches_ = false; // the running command's page comes by its address
    bool busyPointer_ = false;
};
