#include "gui/shell/MainWindow.h"

#include "gui/about/AboutBox.h"
#include "gui/shell/ComControl.h"
#include "gui/shell/Globals.h"
#include "gui/window/App.h"
#include "gui/window/ContextIDs.h"
#include "gui/window/FormInstance.h"
#include "gui/window/Look.h"
#include "gui/window/MsgBox.h"
#include "gui/window/Placement.h"
#include "gui/window/Twips.h"
#include "net/ConversionJob.h"
#include "platform/registry/registry.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <limits>

namespace {

// Layout, in twips.
constexpr int ClientWidth = 7440;
constexpr int ClientHeight = 3255;

// Help context ids of the controls and menus.
constexpr qint32 FrameHelp = 330;
constexpr qint32 ConvertButtonHelp = 340;
constexpr qint32 FileBoxHelp = 350;
constexpr qint32 AddressBoxHelp = 360;
constexpr qint32 FileOptionHelp = 370;
constexpr qint32 UrlOptionHelp = 380;
constexpr qint32 QuitButtonHelp = 390;
constexpr qint32 ReadableBoxHelp = 400;
constexpr qint32 ArticleBoxHelp = 410;
constexpr qint32 MarkdownBoxHelp = 430;
constexpr qint32 BrowserMenuHelp = 1012;
constexpr qint32 AboutMenuHelp = 420;
constexpr qint32 AboutItemHelp = 1210;
constexpr qint32 HelpMenuHelp = 440;
constexpr qint32 QuitMenuHelp = 450;

// Key codes as the window's key handler receives them.
constexpr int F1KeyCode = 112;

const char *const NetvaneProgId = "Vanelink.Netvane";

// The user's choices of chkReadable, chkArticle and chkMarkdown, under
// quillan::net::ProgramRegistryKey.
const char *const ReadableTextValue = "ReadableText";
const char *const ArticleOnlyValue = "ArticleOnly";
const char *const MarkdownValue = "Markdown";

void rememberChoice(const char *value, bool ticked)
{
    // A registry that cannot be written costs only the memory of the choice.
    platform::RegWriteDword(platform::HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey, value, ticked ? 1 : 0);
}

bool rememberedChoice(const char *value)
{
    return platform::RegReadDword(platform::HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey, value).value_or(0) !=
           0;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setupWindow();
    setupMenus();
    setupInputArea();
    setupCommandButtons();
    createComponentControls();
    connectHandlers();
    Form_Load();
    // Opens at the design size, menu bar included: the size Qt gives a
    // window of its own is at most two thirds of the screen, which on a
    // small or scaled screen cut the controls off at the right and bottom.
    // A screen too small for it still has it fitted (keepOnScreen).
    resize(sizeHint());
}

MainWindow::~MainWindow() = default;

void MainWindow::setupWindow()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(App::Title));
    if (qApp)
        setWindowIcon(QApplication::windowIcon());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The controls keep their places whatever the window's size: the frame
    // sits in a client area of the design size at the top left. The window
    // opens at that size and may be made smaller, which clips the controls:
    // the layout sets no minimum size on the window.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(Twips::toPixels(ClientWidth, screen()), Twips::toPixels(ClientHeight, screen()));
    layout->addWidget(client, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);

    Placement::keepOnScreen(*this);

    fraMain = new QFrame(client);
    fraMain->setObjectName(QStringLiteral("fraMain"));
    fraMain->setFrameShape(QFrame::StyledPanel);
    fraMain->setFocusPolicy(Qt::NoFocus);
    ContextIDs::setHelpContextID(fraMain, FrameHelp);
    Twips::place(fraMain, 0, 0, 7455, 3015);
}

// Each menu and item has an access key (Alt+W, Alt+A, Alt+H, Alt+Q on the
// bar; a letter of its own within each list); F10 opens the first menu.
void MainWindow::setupMenus()
{
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);
    layout()->setMenuBar(menuBar);

    Browser = menuBar->addMenu(QStringLiteral("&Web Browser"));
    Browser->setObjectName(QStringLiteral("Browser"));
    OpenBrowser = Browser->addAction(QStringLiteral("&Open Browser"));
    OpenBrowser->setObjectName(QStringLiteral("OpenBrowser"));

    About = menuBar->addMenu(QStringLiteral("&About"));
    About->setObjectName(QStringLiteral("About"));
    ContextIDs::setHelpContextID(About, AboutMenuHelp);
    showAbout = About->addAction(QStringLiteral("&About Quillan"));
    showAbout->setObjectName(QStringLiteral("showAbout"));
    ContextIDs::setHelpContextID(showAbout, AboutItemHelp);
    Fennick = About->addAction(QStringLiteral("&Fennick Website"));
    Fennick->setObjectName(QStringLiteral("Fennick"));

    Help = menuBar->addMenu(QStringLiteral("&Help"));
    Help->setObjectName(QStringLiteral("Help"));
    ContextIDs::setHelpContextID(Help, HelpMenuHelp);
    Contents = Help->addAction(QStringLiteral("&Display Help"));
    Contents->setObjectName(QStringLiteral("Contents"));

    // A command on the menu bar itself, without a list.
    Quit = menuBar->addAction(QStringLiteral("&Quit"));
    Quit->setObjectName(QStringLiteral("Quit"));
    ContextIDs::setHelpContextID(Quit, QuitMenuHelp);
}

void MainWindow::setupInputArea()
{
    Label1 =
        new QLabel(QStringLiteral("Enter Either the Web site's URL or the name of an existing HTML file"), fraMain);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Look::comic(9.75, true));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    Look::setColour(Label1, QPalette::WindowText, Look::Navy);
    Twips::place(Label1, 120, 360, 7215, 495);

    auto option = [this](const QString &caption, const char *name, qint32 helpId) {
        auto *button = new QRadioButton(caption, fraMain);
        button->setObjectName(QLatin1String(name));
        button->setFont(Look::sansSerif());
        Look::setColour(button, QPalette::WindowText, Look::Navy);
        Look::setColour(button, QPalette::ButtonText, Look::Navy);
        ContextIDs::setHelpContextID(button, helpId);
        return button;
    };
    optURL = option(QStringLiteral("Retrieve from URL"), "optURL", UrlOptionHelp);
    Twips::place(optURL, 240, 840, 1695, 255);
    optGetFile = option(QStringLiteral("Use HTML File"), "optGetFile", FileOptionHelp);
    Twips::place(optGetFile, 240, 1200, 1455, 255);
    optURL->setChecked(true);

    // Look like the option buttons above them.
    auto check = [this](const QString &caption, const char *name, qint32 helpId) {
        auto *box = new QCheckBox(caption, fraMain);
        box->setObjectName(QLatin1String(name));
        box->setFont(Look::sansSerif());
        Look::setColour(box, QPalette::WindowText, Look::Navy);
        Look::setColour(box, QPalette::ButtonText, Look::Navy);
        ContextIDs::setHelpContextID(box, helpId);
        return box;
    };
    chkReadable = check(QStringLiteral("Readable text"), "chkReadable", ReadableBoxHelp);
    Twips::place(chkReadable, 240, 1560, 1695, 255);
    chkArticle = check(QStringLiteral("Article only"), "chkArticle", ArticleBoxHelp);
    Twips::place(chkArticle, 2040, 1560, 1695, 255);
    chkMarkdown = check(QStringLiteral("Markdown"), "chkMarkdown", MarkdownBoxHelp);
    Twips::place(chkMarkdown, 3960, 1560, 1335, 255);

    auto box = [this](const char *name, qint32 helpId) {
        auto *edit = new QLineEdit(fraMain);
        edit->setObjectName(QLatin1String(name));
        edit->setFont(Look::sansSerif());
        Look::setColour(edit, QPalette::Text, Look::Navy);
        ContextIDs::setHelpContextID(edit, helpId);
        return edit;
    };
    txtURL = box("txtURL", AddressBoxHelp);
    // Whatever is pasted stays whole: the command refuses an address that is
    // too long instead of a box cutting it silently.
    txtURL->setMaxLength(std::numeric_limits<int>::max());
    txtURL->setAccessibleName(QStringLiteral("Web site's URL"));
    txtURL->setAccessibleDescription(QStringLiteral("The address of the web page to convert to text"));
    txtURL->setText(QStringLiteral("http://"));
    Look::setColour(txtURL, QPalette::Base, Look::LightGrey);
    Twips::place(txtURL, 2040, 840, 4575, 285);
    txtGetFile = box("txtGetFile", FileBoxHelp);
    txtGetFile->setAccessibleName(QStringLiteral("HTML file"));
    txtGetFile->setAccessibleDescription(QStringLiteral("The path of the HTML file on disk to convert to text"));
    txtGetFile->setEnabled(false);
    Look::setColour(txtGetFile, QPalette::Base, Look::Silver);
    Twips::place(txtGetFile, 2040, 1200, 4575, 285);

    // The caption names the address it came from, so the label reaches to
    // the frame's right edge instead of its narrow design width.
    lbBytesReceived = new QLabel(QStringLiteral("Bytes Received"), fraMain);
    lbBytesReceived->setObjectName(QStringLiteral("lbBytesReceived"));
    lbBytesReceived->setFont(Look::sansSerif());
    Look::setColour(lbBytesReceived, QPalette::WindowText, Look::Navy);
    Twips::place(lbBytesReceived, 480, 2640, 7455 - 480 - 120, 195);
    lbBytesReceived->hide();
}

void MainWindow::setupCommandButtons()
{
    auto button = [this](const QString &caption, const char *name, qint32 helpId) {
        auto *b = new QPushButton(caption, fraMain);
        b->setObjectName(QLatin1String(name));
        b->setFont(Look::sansSerif(8.25, true));
        b->setAutoDefault(false);
        ContextIDs::setHelpContextID(b, helpId);
        return b;
    };
    btnHTMLtoText = button(QStringLiteral("HTML to Text"), "btnHTMLtoText", ConvertButtonHelp);
    Twips::place(btnHTMLtoText, 3960, 2040, 1335, 375);
    btnQuit = button(QStringLiteral("Quit"), "btnQuit", QuitButtonHelp);
    Twips::place(btnQuit, 5400, 2040, 1215, 375);

    setTabOrder(optURL, optGetFile);
    setTabOrder(optGetFile, txtURL);
    setTabOrder(txtURL, txtGetFile);
    setTabOrder(txtGetFile, chkReadable);
    setTabOrder(chkReadable, chkArticle);
    setTabOrder(chkArticle, chkMarkdown);
    setTabOrder(chkMarkdown, btnHTMLtoText);
    setTabOrder(btnHTMLtoText, btnQuit);
}

void MainWindow::createComponentControls()
{
    createConversionJob();

    const QString progId = QString::fromLatin1(NetvaneProgId);
    Netvane1 = std::make_unique<ComControl>(progId);
    Netvane3 = std::make_unique<ComControl>(progId);
    Netvane4 = std::make_unique<ComControl>(progId);
}

void MainWindow::connectHandlers()
{
    connect(OpenBrowser, &QAction::triggered, this, &MainWindow::OpenBrowser_Click);
    connect(showAbout, &QAction::triggered, this, &MainWindow::showAbout_Click);
    connect(Fennick, &QAction::triggered, this, &MainWindow::Fennick_Click);
    connect(Contents, &QAction::triggered, this, &MainWindow::Contents_Click);
    connect(Quit, &QAction::triggered, this, &MainWindow::Quit_Click);
    connect(btnQuit, &QPushButton::clicked, this, &MainWindow::btnQuit_Click);

    connect(optURL, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            optURL_Click();
    });
    connect(optGetFile, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected)
            optGetFile_Click();
    });
    connect(txtURL, &QLineEdit::returnPressed, this, [this] { txtURL_KeyPress(Qt::Key_Return); });
    connect(txtGetFile, &QLineEdit::returnPressed, this, [this] { txtGetFile_KeyPress(Qt::Key_Return); });
    connect(btnHTMLtoText, &QPushButton::clicked, this, &MainWindow::btnHTMLtoText_Click);
    connect(chkReadable, &QCheckBox::toggled, this, &MainWindow::chkReadable_Click);
    connect(chkArticle, &QCheckBox::toggled, this, &MainWindow::chkArticle_Click);
    connect(chkMarkdown, &QCheckBox::toggled, this, &MainWindow::chkMarkdown_Click);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::Form_Terminate);

    installEventFilter(this);
    for (QWidget *control : findChildren<QWidget *>())
        control->installEventFilter(this);
}

void MainWindow::Form_Load()
{
    ContextIDs::setHelpContextID(Browser, BrowserMenuHelp);
    // Set before anything listens for a toggle: loading writes nothing.
    const bool article = rememberedChoice(ArticleOnlyValue);
    const bool markdown = rememberedChoice(MarkdownValue);
    const QSignalBlocker quietReadable(chkReadable);
    const QSignalBlocker quietArticle(chkArticle);
    const QSignalBlocker quietMarkdown(chkMarkdown);
    chkReadable->setChecked(article || markdown || rememberedChoice(ReadableTextValue));
    chkArticle->setChecked(article);
    chkMarkdown->setChecked(markdown);
}

// The article is readable text, and Markdown is a way of writing the
// readable kinds: the boxes keep that true, each writing its own value when
// another moves it.
void MainWindow::chkReadable_Click()
{
    rememberChoice(ReadableTextValue, chkReadable->isChecked());
    if (!chkReadable->isChecked()) {
        chkArticle->setChecked(false);
        chkMarkdown->setChecked(false);
    }
}

void MainWindow::chkArticle_Click()
{
    rememberChoice(ArticleOnlyValue, chkArticle->isChecked());
    if (chkArticle->isChecked())
        chkReadable->setChecked(true);
}

void MainWindow::chkMarkdown_Click()
{
    rememberChoice(MarkdownValue, chkMarkdown->isChecked());
    if (chkMarkdown->isChecked())
        chkReadable->setChecked(true);
}

MainWindow::ConnectionReading MainWindow::readConnectedOnline()
{
    // ConnectedOnline, as the control's type library numbers it.
    constexpr qint32 ConnectedOnlineId = 0x68030000;
    ConnectionReading reading;
    const std::optional<bool> online =
        Netvane1 ? Netvane1->readBoolean(ConnectedOnlineId, &reading.cause) : std::nullopt;
    reading.online = online.value_or(false);
    return reading;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Esc anywhere in the window cancels a running fetch or conversion.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        job_->isRunning()) {
        job_->cancel();
        return true;
    }
    // F10 reaches the menu bar, as Alt does.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier && !key->isAutoRepeat() &&
            menuBar->isVisible()) {
            menuBar->setActiveAction(Browser->menuAction());
            return true;
        }
    }
    // The window sees a key released in any of its controls before the
    // control does; only F1 is taken.
    if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F1 && !key->isAutoRepeat()) {
            Form_KeyUp(F1KeyCode, static_cast<int>(key->modifiers() >> 25));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::Form_KeyUp(int KeyCode, int /*Shift*/)
{
    if (KeyCode != F1KeyCode)
        return;
    // Help on the focused control; with nothing focused the key is ignored.
    QWidget *focused = focusWidget();
    if (!focused || !focused->hasFocus())
        return;
    ContextIDs::ShowHelp(Globals::HelpFilePath, focused, ContextIDs::helpContextID(focused));
}

void MainWindow::Contents_Click()
{
    ContextIDs::ShowHelp(Globals::HelpFilePath, nullptr, 0);
}

void MainWindow::Quit_Click()
{
    close();
}

void MainWindow::btnQuit_Click()
{
    close();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    emit unloaded();
}

void MainWindow::Form_Unload()
{
    // A fetch or conversion still running has no window to go on with: it
    // ends without a message and its files go.
    job_->cancel();
}

void MainWindow::Form_Terminate()
{
    // The program is shutting down: end it now, whatever windows remain.
    QCoreApplication::exit(0);
}

void MainWindow::showAbout_Click()
{
    setCursor(Qt::WaitCursor);
    FormInstance<AboutBox>::get().showModal();
    unsetCursor();
}
