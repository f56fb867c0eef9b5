#include "gui/shell/LoadingWindow.h"

#include "gui/window/Look.h"
#include "gui/window/Placement.h"
#include "gui/window/Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPalette>

namespace {

constexpr int ClientWidth = 5505;
constexpr int ClientHeight = 810;

} // namespace

LoadingWindow::LoadingWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setupWindow();
    setupLabel();
    Form_Load();
}

LoadingWindow::~LoadingWindow() = default;

// Fixed single border: a title bar with a close box, no minimize or
// maximize button, and a size the user cannot change.
void LoadingWindow::setupWindow()
{
    setObjectName(QStringLiteral("frmOpen"));
    setWindowTitle(QStringLiteral("Loading Quillan ......"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Look::fromBgr(Look::LightGrey));
    setPalette(palette);
    setAutoFillBackground(true);
    setFixedSize(Twips::toPixels(ClientWidth, screen()), Twips::toPixels(ClientHeight, screen()));
    Placement::centreOnScreen(*this);
}

void LoadingWindow::setupLabel()
{
    Label1 = new QLabel(QStringLiteral("Please stand by while Quillan Loads"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Look::font(QStringLiteral("MS Sans Serif"), 9.75, true));
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, Look::fromBgr(Look::Navy));
    palette.setColor(QPalette::Window, Look::fromBgr(Look::LightGrey));
    Label1->setPalette(palette);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(Twips::toPixels(120, 240, 4935, 375, screen()));
}

void LoadingWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    emit unloaded();
}

void LoadingWindow::Form_Load()
{
    setCursor(Qt::WaitCursor);
}

void LoadingWindow::Form_Unload()
{
    unsetCursor();
}
