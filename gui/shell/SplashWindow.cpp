#include "gui/shell/SplashWindow.h"

#include "gui/shell/MainWindowModule.h"
#include "gui/window/AnimatedPicture.h"
#include "gui/window/App.h"
#include "gui/window/FormInstance.h"
#include "gui/window/HelpFile.h"
#include "gui/window/Look.h"
#include "gui/window/MsgBox.h"
#include "gui/window/Placement.h"
#include "gui/window/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <qdrawutil.h>

#include <algorithm>

namespace {

constexpr int ClientWidth = 8685;
constexpr int ClientHeight = 3450;

// The fixed dialog border the window draws around its client area, in
// pixels.
constexpr int BorderPixels = 2;

const char *const PictureFileName = "spider14.gif";
const char *const Copyright = "Copyright \u00a9 2002 Fennick";

} // namespace

void ClickableFrame::mousePressEvent(QMouseEvent *event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickableFrame::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit clicked();
}

SplashWindow::SplashWindow(QWidget *parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setupWindow();
    setupLabels();
    setupPicture();
    setupButtons();
    connectHandlers();
    Form_Load();
}

SplashWindow::~SplashWindow() = default;

// A tool window stays out of the taskbar, and Qt does not count one as a
// window that keeps the program running; the splash is the program's only
// window while it is up, so it counts.
void SplashWindow::setupWindow()
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_QuitOnClose, true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Look::fromBgr(Look::LightGrey));
    setPalette(palette);
    setAutoFillBackground(true);
    setFixedSize(Twips::toPixels(ClientWidth, screen()) + 2 * BorderPixels,
                 Twips::toPixels(ClientHeight, screen()) + 2 * BorderPixels);
    Placement::centreOnScreen(*this);

    Frame1 = new ClickableFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame1->setGeometry(Twips::toPixels(120, 0, 8400, 3330, screen()).translated(BorderPixels, BorderPixels));
}

QLabel *SplashWindow::makeLabel(const QString &name, const QString &text, const QFont &font, int left, int top,
                                int width, int height)
{
    auto *label = new QLabel(text, Frame1);
    label->setObjectName(name);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Look::fromBgr(Look::LightGrey));
    palette.setColor(QPalette::WindowText, Look::fromBgr(Look::Navy));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    // A click on a label is the label's, not the frame's.
    label->setAttribute(Qt::WA_NoMousePropagation);
    label->setGeometry(Twips::toPixels(left, top, width, height, screen()));
    return label;
}

void SplashWindow::setupLabels()
{
    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("Fennick's Quillan"), Look::comic(18, true, true), 960,
                       240, 7215, 975);
    Label2 =
        makeLabel(QStringLiteral("Label2"), QStringLiteral("Convert HTML to Text from files or direct from the Web"),
                  Look::comic(9.75, true), 1680, 1080, 5895, 255);
    lblVersion = makeLabel(QStringLiteral("lblVersion"), QStringLiteral("Version 1.0"), Look::comic(12, true), 2520,
                           1440, 2535, 315);
    lblCopyright = makeLabel(QStringLiteral("lblCopyright"), QString::fromUtf8(Copyright), Look::comic(8.25, false),
                             2160, 2160, 3495, 255);
}

void SplashWindow::setupPicture()
{
    DXAnimatedGIF1 = new AnimatedPicture(Frame1);
    DXAnimatedGIF1->setObjectName(QStringLiteral("DXAnimatedGIF1"));
    DXAnimatedGIF1->setAccessibleName(QStringLiteral("Spider"));
    DXAnimatedGIF1->setAccessibleDescription(QStringLiteral("A spider swinging on its thread, Quillan's picture"));
    DXAnimatedGIF1->setAttribute(Qt::WA_NoMousePropagation);
    DXAnimatedGIF1->setGeometry(Twips::toPixels(240, 1320, 1455, 1335, screen()));
}

QPushButton *SplashWindow::makeButton(const QString &name, const QString &caption, int left, int top)
{
    auto *button = new QPushButton(caption, Frame1);
    button->setObjectName(name);
    button->setFont(Look::comic(8.25, true));
    button->setAutoDefault(false);
    button->setGeometry(Twips::toPixels(left, top, 1215, 495, screen()));
    return button;
}

void SplashWindow::setupButtons()
{
    btnStart = makeButton(QStringLiteral("btnStart"), QStringLiteral("Start"), 3000, 2520);
    btnQuit = makeButton(QStringLiteral("btnQuit"), QStringLiteral(" Quit"), 4320, 2520);
    // The splash opens with the focus on Start, so that Enter starts.
    btnStart->setFocus();
}

void SplashWindow::connectHandlers()
{
    connect(btnStart, &QPushButton::clicked, this, &SplashWindow::btnStart_Click);
    connect(btnQuit, &QPushButton::clicked, this, &SplashWindow::btnQuit_Click);
    connect(Frame1, &ClickableFrame::clicked, this, &SplashWindow::Frame1_Click);
}

void SplashWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit unloaded();
}

void SplashWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

// A picture that cannot be shown leaves its area empty; the version is set
// all the same.
void SplashWindow::Form_Load()
{
    DXAnimatedGIF1->setPictureFile(App::Path() + QLatin1Char('/') + QLatin1String(PictureFileName));
    lblVersion->setText(App::VersionText(App::Major, App::Minor, App::Revision));
    widenToFit(lblVersion);
}

// The version text is wider than the label laid out for the design text
// "Version 1.0", and would be cut after "January 9,". The label grows about
// its centre until the text fits on one line, inside the frame.
void SplashWindow::widenToFit(QLabel *label)
{
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin() + 4;
    QRect area = label->geometry();
    if (needed <= area.width())
        return;
    const int width = std::min(needed, Frame1->contentsRect().width());
    const int centre = area.left() + area.width() / 2;
    area.setLeft(std::max(Frame1->contentsRect().left(), centre - width / 2));
    area.setWidth(width);
    if (area.right() > Frame1->contentsRect().right())
        area.moveRight(Frame1->contentsRect().right());
    label->setGeometry(area);
}

// Leaves the splash for good and opens the main window.
void SplashWindow::btnStart_Click()
{
    setCursor(Qt::WaitCursor);
    // The main window's module comes now, while the splash is still up: a
    // program without it keeps the splash, which can still end it.
    QString error;
    if (!MainWindowModule::load(&error)) {
        unsetCursor();
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(CannotOpenMainWindowMessage), error));
        return;
    }
    hide();
    // The main window takes over: closing the splash now is no reason to
    // end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    close();
    MainWindowModule::show(Globals::helpFilePath());
    unsetCursor();
}

void SplashWindow::btnQuit_Click()
{
    close();
}

void SplashWindow::Frame1_Click()
{
    close();
}
