#include "gui/browser/module/frmBrowser1.h"

#include "gui/browser/module/WebBrowser.h"
#include "gui/window/Look.h"
#include "gui/window/Placement.h"
#include "gui/window/Twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <exception>

namespace {

// Layout, in twips.
constexpr int DesignClientWidth = 11565;
constexpr int DesignClientHeight = 7050;
constexpr int AddressRowTop = 540;
constexpr int AddressRowHeight = 675;
constexpr int LayoutMargin = 100;

// The two push buttons of the toolbar: their design places, and the gap
// kept between the toolbar's own buttons and them when the window is
// narrower than the design.
constexpr int ConvertButtonLeft = 6720;
constexpr int HelpButtonLeft = 8280;
constexpr int PushButtonWidth = 1575;
constexpr int PushButtonHeight = 375;
constexpr int PushButtonGap = 60;

constexpr int TimerIntervalMs = 5;
constexpr qint32 BrowserHelpContext = 1012;
constexpr int KeyEnter = 13;

const char *const BusyCaption = "Working...";

// The toolbar buttons, left to right: key (also the tooltip), the icon
// theme's name for the picture, and the picture shipped in the module.
struct ToolbarButtonInfo {
    const char *key;
    const char *themeIcon;
    const char *ownIcon;
};
constexpr ToolbarButtonInfo ToolbarButtons[] = {
    {"Back", "go-previous", ":/browser/icons/back.png"},  {"Forward", "go-next", ":/browser/icons/forward.png"},
    {"Stop", "process-stop", ":/browser/icons/stop.png"}, {"Refresh", "view-refresh", ":/browser/icons/refresh.png"},
    {"Home", "go-home", ":/browser/icons/home.png"},      {"Search", "edit-find", ":/browser/icons/search.png"},
};

BrowserHost *theHost = nullptr;

int twipsOf(const QWidget *widget, int pixels)
{
    return Twips::fromPixels(pixels, widget->screen());
}

// The theme's picture when the desktop has one, else our own.
QIcon toolbarIcon(const ToolbarButtonInfo &button)
{
    return QIcon::fromTheme(QLatin1String(button.themeIcon), QIcon(QLatin1String(button.ownIcon)));
}

// Runs one step of a handler whose failures are skipped.
template <class Step>
void skipOnFailure(Step &&step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

} // namespace

void frmBrowser1::setHost(BrowserHost *host)
{
    theHost = host;
}

BrowserHost *frmBrowser1::host()
{
    return theHost;
}

frmBrowser1::frmBrowser1(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setupWindow();
    setupToolbar();
    setupAddressRow();
    setupBrowser();
    connectHandlers();
    Form_Load();
}

frmBrowser1::~frmBrowser1() = default;

void frmBrowser1::setupWindow()
{
    setObjectName(QStringLiteral("frmBrowser1"));
    setWindowTitle(QStringLiteral("Quillan Browser"));
    resize(Twips::toPixels(DesignClientWidth, screen()), Twips::toPixels(DesignClientHeight, screen()));
    Placement::keepOnScreen(*this);
    // A window still open when the program ends goes before the engine's
    // own shutdown, which otherwise finds its page alive. No unload: the
    // program is ending, the main window is not to come back.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });
}

void frmBrowser1::setupToolbar()
{
    tbToolBar = new QToolBar(this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    Twips::place(tbToolBar, 0, 0, DesignClientWidth, AddressRowTop);
    for (const ToolbarButtonInfo &entry : ToolbarButtons) {
        const QIcon icon = toolbarIcon(entry);
        imlIcons.append(icon);
        QAction *button = tbToolBar->addAction(icon, QLatin1String(entry.key));
        button->setObjectName(QLatin1String(entry.key));
        button->setToolTip(QLatin1String(entry.key));
        button->setData(QLatin1String(entry.key)); // the button's Key
    }

    // The two push buttons sit in the toolbar at fixed places, outside its
    // own row of buttons.
    convertButton = new QPushButton(QStringLiteral("Quillan"), tbToolBar);
    convertButton->setObjectName(QStringLiteral("btrnQuillan"));
    convertButton->setFont(Look::sansSerif());
    convertButton->setAutoDefault(false);
    Twips::place(convertButton, ConvertButtonLeft, 0, PushButtonWidth, PushButtonHeight);

    btnHelp = new QPushButton(QStringLiteral("HELP"), tbToolBar);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setFont(Look::sansSerif());
    btnHelp->setAutoDefault(false);
    Twips::place(btnHelp, HelpButtonLeft, 0, PushButtonWidth, PushButtonHeight);

    // Never so narrow that the two buttons leave the window.
    const int buttonsWidth = HelpButtonLeft - ConvertButtonLeft + PushButtonWidth + PushButtonGap;
    setMinimumWidth(toolbarButtonsLeft() + Twips::toPixels(buttonsWidth, screen()));
}

// Where the toolbar's own buttons end, with the gap after them.
int frmBrowser1::toolbarButtonsLeft() const
{
    return tbToolBar->sizeHint().width() + Twips::toPixels(PushButtonGap, screen());
}

// At the design places while they fit; in a narrower window they move left
// together, HELP at the right edge, but never over the toolbar's buttons.
void frmBrowser1::placeToolbarButtons()
{
    const int designHelp = Twips::toPixels(HelpButtonLeft, screen());
    const int spacing = Twips::toPixels(HelpButtonLeft - ConvertButtonLeft, screen());
    const int rightmost = width() - btnHelp->width() - Twips::toPixels(PushButtonGap, screen());
    const int help = std::max(std::min(designHelp, rightmost), toolbarButtonsLeft() + spacing);
    btnHelp->move(help, btnHelp->y());
    convertButton->move(help - spacing, convertButton->y());
}

void frmBrowser1::setupAddressRow()
{
    picAddress = new QWidget(this);
    picAddress->setObjectName(QStringLiteral("picAddress"));
    Twips::place(picAddress, 0, AddressRowTop, DesignClientWidth, AddressRowHeight);

    lblAddress = new QLabel(QStringLiteral("&Address:"), picAddress);
    lblAddress->setObjectName(QStringLiteral("lblAddress"));
    Twips::place(lblAddress, 45, 60, 3075, 195);

    cboAddress = new QComboBox(picAddress);
    cboAddress->setObjectName(QStringLiteral("cboAddress"));
    cboAddress->setEditable(true);
    // The list is kept by the navigation-complete handler alone: Enter adds
    // nothing to it. Entries are told apart by exact text, letter case too.
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    if (cboAddress->completer())
        cboAddress->completer()->setCaseSensitivity(Qt::CaseSensitive);
    Twips::place(cboAddress, 240, 240, 4395, 315);
    lblAddress->setBuddy(cboAddress); // Alt+A
    cboAddress->setAccessibleName(QStringLiteral("Address"));
    cboAddress->setAccessibleDescription(QStringLiteral("The address of the page to show; earlier pages in its list"));
    cboAddress->lineEdit()->setAccessibleName(QStringLiteral("Address"));
    cboAddress->lineEdit()->setAccessibleDescription(QStringLiteral("The address of the page to show"));
    // A key typed by the user reaches the box itself, which hands it to its
    // line edit directly; a key sent to the line edit goes there alone.
    // Enter is watched on both roads.
    cboAddress->installEventFilter(this);
    cboAddress->lineEdit()->installEventFilter(this);
}

void frmBrowser1::setupBrowser()
{
    const QString folder = theHost ? theHost->programFolder() : QString();
    brwWebBrowser = new WebBrowser(folder, this);
    brwWebBrowser->setAccessibleName(QStringLiteral("Web page"));
    Twips::place(brwWebBrowser, 0, AddressRowTop + AddressRowHeight, DesignClientWidth,
                 DesignClientHeight - AddressRowTop - AddressRowHeight);

    timTimer = new QTimer(this);
    timTimer->setObjectName(QStringLiteral("timTimer"));
    timTimer->setInterval(TimerIntervalMs);
}

void frmBrowser1::connectHandlers()
{
    connect(tbToolBar, &QToolBar::actionTriggered, this, &frmBrowser1::tbToolBar_ButtonClick);
    connect(convertButton, &QPushButton::clicked, this, &frmBrowser1::convertButton_Click);
    connect(btnHelp, &QPushButton::clicked, this, &frmBrowser1::btnHelp_Click);
    connect(cboAddress, &QComboBox::activated, this, [this] {
        if (!enterInAddressBox_)
            cboAddress_Click();
    });
    connect(timTimer, &QTimer::timeout, this, &frmBrowser1::timTimer_Timer);
    connect(brwWebBrowser, &WebBrowser::DownloadComplete, this, &frmBrowser1::brwWebBrowser_DownloadComplete);
    connect(brwWebBrowser, &WebBrowser::NavigateComplete, this, &frmBrowser1::brwWebBrowser_NavigateComplete);
}

QAction *frmBrowser1::toolbarButton(const QString &key) const
{
    for (QAction *button : tbToolBar->actions()) {
        if (button->data().toString() == key)
            return button;
    }
    return nullptr;
}

void frmBrowser1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmBrowser1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    emit unloaded();
}

// Enter in the address box, seen before the box acts on it. The key then
// goes on to the box, which on Enter selects a list entry equal to the text
// and reports that as a pick; that pick is not the user's and must not
// start a second navigation.
bool frmBrowser1::eventFilter(QObject *watched, QEvent *event)
{
    const bool addressBox = watched == cboAddress || watched == cboAddress->lineEdit();
    if (addressBox && event->type() == QEvent::KeyPress && !enterInAddressBox_) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            QPointer<frmBrowser1> self(this);
            cboAddress_KeyPress(KeyEnter);
            if (!self)
                return true;
            enterInAddressBox_ = true;
            QCoreApplication::sendEvent(watched, event);
            enterInAddressBox_ = false;
            // Handled here: the line edit leaves Enter unaccepted, and an
            // unaccepted key would go on to the box as a second Enter.
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The window is on screen as soon as it exists. No page is asked for here.
void frmBrowser1::Form_Load()
{
    show();
    tbToolBar->update();
    Form_Resize();
    const QRect label = lblAddress->geometry();
    const int top = twipsOf(this, label.y()) + twipsOf(this, label.height()) + 15;
    cboAddress->move(Twips::toPixels(50, screen()), Twips::toPixels(top, screen()));
}

// Widths and heights follow the client area; a size that would come out
// negative (minimised, or smaller than the address row) is skipped and the
// other steps still run. The toolbar and the address row span the whole
// width, so that the address box is never clipped by its row, and the page
// fills the rest of the window below them, its scroll bars inside it.
void frmBrowser1::Form_Resize()
{
    const int clientWidth = twipsOf(this, width());

    tbToolBar->resize(width(), tbToolBar->height());
    picAddress->resize(width(), picAddress->height());
    placeToolbarButtons();

    const int addressWidth = clientWidth - LayoutMargin;
    if (addressWidth >= 0)
        cboAddress->resize(Twips::toPixels(addressWidth, screen()), cboAddress->height());

    const int pageTop = picAddress->y() + picAddress->height();
    brwWebBrowser->setGeometry(0, pageTop, width(), brwWebBrowser->height());
    const int pageHeight = height() - pageTop;
    if (pageHeight >= 0)
        brwWebBrowser->resize(brwWebBrowser->width(), pageHeight);
}

void frmBrowser1::Form_Unload()
{
    timTimer->stop();
    if (theHost)
        theHost->showMainWindow();
}

void frmBrowser1::tbToolBar_ButtonClick(QAction *Button)
{
    timTimer->start();
    const QString key = Button ? Button->data().toString() : QString();
    skipOnFailure([&] {
        if (key == QLatin1String("Back"))
            brwWebBrowser->GoBack();
        else if (key == QLatin1String("Forward"))
            brwWebBrowser->GoForward();
        else if (key == QLatin1String("Refresh"))
            brwWebBrowser->Refresh();
        else if (key == QLatin1String("Home"))
            brwWebBrowser->GoHome();
        else if (key == QLatin1String("Search"))
            brwWebBrowser->GoSearch();
        else if (key == QLatin1String("Stop")) {
            timTimer->stop();
            brwWebBrowser->Stop();
            setWindowTitle(brwWebBrowser->LocationName());
        }
    });
}

void frmBrowser1::cboAddress_Click()
{
    if (updatingAddressList)
        return;
    timTimer->start();
    skipOnFailure([&] { brwWebBrowser->Navigate(cboAddress->currentText()); });
}

void frmBrowser1::cboAddress_KeyPress(int KeyAscii)
{
    if (KeyAscii == KeyEnter)
        cboAddress_Click();
}

void frmBrowser1::timTimer_Timer()
{
    if (brwWebBrowser->Busy()) {
        setWindowTitle(QLatin1String(BusyCaption));
    } else {
        timTimer->stop();
        setWindowTitle(brwWebBrowser->LocationName());
    }
}

void frmBrowser1::btnHelp_Click()
{
    if (theHost)
        theHost->showHelp(BrowserHelpContext);
}

void frmBrowser1::brwWebBrowser_DownloadComplete()
{
    setWindowTitle(brwWebBrowser->LocationName());
}

// The page's address goes to the top of the list, once. Selecting it below
// raises the list's click, which must not start the same page again.
void frmBrowser1::brwWebBrowser_NavigateComplete(const QString &)
{
    setWindowTitle(brwWebBrowser->LocationName());
    const QString url = brwWebBrowser->LocationURL();
    const int found = cboAddress->findText(url, Qt::MatchExactly | Qt::MatchCaseSensitive);
    updatingAddressList = true;
    if (found >= 0)
        cboAddress->removeItem(found);
    cboAddress->insertItem(0, url);
    cboAddress->setCurrentIndex(0);
    cboAddress_Click();
    updatingAddressList = false;
}

// The page at the address box's address goes through the main window's
// conversion command; this window stays, busy, until that command has ended
// (viewer included), and then closes whatever came of it.
void frmBrowser1::convertButton_Click()
{
    const QPointer<frmBrowser1> self(this);
    setCursor(Qt::WaitCursor);
    const QString address = cboAddress->currentText();
    auto whenEnded = [self] {
        if (!self)
            return;
        self->unsetCursor();
        self->close();
    };
    bool asked = false;
    skipOnFailure([&] {
        if (theHost) {
            theHost->convertAddress(address, whenEnded);
            asked = true;
        }
    });
    if (!asked)
        whenEnded();
}

void frmBrowser1::openStartPage(const QString &pagePath)
{
    brwWebBrowser->Navigate(pagePath);
    cboAddress->setEditText(QString());
    showModeless();
    cboAddress->setFocus(Qt::OtherFocusReason);
}

void frmBrowser1::openPublisherSite(const QString &entryPage, const QString &shownAddress)
{
    brwWebBrowser->setAddressBar(true);
    convertButton->setVisible(false);
    brwWebBrowser->Navigate(entryPage);
    cboAddress->setEditText(shownAddress);
    brwWebBrowser->setResizable(true);
}

QString frmBrowser1::addressText() const
{
    return cboAddress->currentText();
}

void frmBrowser1::showModeless()
{
    show();
    raise();
    activateWindow();
}
