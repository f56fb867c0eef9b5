#pragma once
// The browser window: a toolbar of navigation buttons with the convert
// button "Quillan" and "HELP", an address box that keeps the addresses
// visited (most recent first, each once), and the browser control. The
// caption reads "Working..." while a page loads, else the page's title.
//
// One browser window at a time: FormInstance<frmBrowser1> inside the module
// (reached through the module's entry points) creates it on first use, its
// load shows it, and hands it out until it is closed.
// Closing it shows the main window again, through the host.

#include "gui/browser/BrowserInterfaces.h"
#include "gui/browser/module/BrowserExport.h"

#include <QIcon>
#include <QList>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QToolBar;
class WebBrowser;

class QUILLAN_BROWSER_EXPORT frmBrowser1 : public QWidget, public BrowserWindow {
    Q_OBJECT
public:
    // The program's side, which every browser window talks to. Set once,
    // before the first window is created (the module's entry point does).
    static void setHost(BrowserHost *host);
    static BrowserHost *host();

    explicit frmBrowser1(QWidget *parent = nullptr);
    ~frmBrowser1() override;

    // Controls.
    QToolBar *tbToolBar = nullptr;
    QPushButton *convertButton = nullptr;
    QPushButton *btnHelp = nullptr;
    QWidget *picAddress = nullptr;
    QLabel *lblAddress = nullptr;
    QComboBox *cboAddress = nullptr;
    WebBrowser *brwWebBrowser = nullptr;
    QTimer *timTimer = nullptr;
    QList<QIcon> imlIcons; // the toolbar's six pictures, in button order

    // True while the address list is rewritten after a navigation.
    bool updatingAddressList = false;

    // The toolbar button with this key, or nullptr.
    QAction *toolbarButton(const QString &key) const;

    // Handlers.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void tbToolBar_ButtonClick(QAction *Button);
    void cboAddress_Click();
    void cboAddress_KeyPress(int KeyAscii);
    void timTimer_Timer();
    void btnHelp_Click();
    void convertButton_Click();
    void brwWebBrowser_DownloadComplete();
    void brwWebBrowser_NavigateComplete(const QString &url);

    // BrowserWindow, for the main window's commands.
    void openStartPage(const QString &pagePath) override;
    void openPublisherSite(const QString &entryPage, const QString &shownAddress) override;
    QString addressText() const override;
    void showModeless() override;
    QWidget *widget() override { return this; }

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupWindow();
    void setupToolbar();
    void setupAddressRow();
    void setupBrowser();
    void connectHandlers();
    void placeToolbarButtons();
    int toolbarButtonsLeft() const;

    // True while Enter, already handled, goes on to the address box.
    bool enterInAddressBox_ = false;
};
