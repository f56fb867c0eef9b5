#include "gui/about/AboutBox.h"

#include "gui/about/SysInfo.h"
#include "gui/window/AnimatedPicture.h"
#include "gui/window/App.h"
#include "gui/window/Look.h"
#include "gui/window/MsgBox.h"
#include "gui/window/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QVersionNumber>

namespace {

// Layout, in twips.
constexpr int ClientWidth = 6330;
constexpr int ClientHeight = 3855;
constexpr int RuleTop = 1680;
constexpr int RuleRight = 6360;

const char *const PictureFileName = "/spider14.gif";
const char *const PublisherAddress = "http://www.fennick.example";
// The program's icon at 32 x 32 pixels, compiled in from gui/art.
const char *const IconFile = ":/icons/quillan-32.png";

QString &pictureFolderOverride()
{
    static QString folder;
    return folder;
}

// "Version major.minor.revision <build date>": the numbers the running
// program names (1.04.0002 reads 1.4.2), or, when it names none, those it
// was built with.
QString versionText()
{
    int major = App::Major;
    int minor = App::Minor;
    int revision = App::Revision;
    const QVersionNumber named = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    if (!named.isNull()) {
        major = named.majorVersion();
        minor = named.minorVersion();
        revision = named.microVersion();
    }
    return App::VersionText(major, minor, revision);
}

QString descriptionText()
{
    return QStringLiteral("Published by Fennick\u2122  ") + QString::fromLatin1(PublisherAddress);
}

// One paragraph; its fragments are joined by one blank, and the sentence
// ending in "treaties." is followed by two.
QString disclaimerText()
{
    return QStringList{
        QStringLiteral("Notice: this program and its help are protected by"),
        QStringLiteral("copyright law in many countries and by"),
        QStringLiteral("international treaties. "),
        QStringLiteral("Copying or passing on the program, or any part of it,"),
        QStringLiteral("other than as its licence allows may lead to claims"),
        QStringLiteral("for damages and to prosecution."),
    }
        .join(QLatin1Char(' '));
}

QString copyrightText()
{
    return QStringLiteral("Copyright \u00a9 2002 Fennick. All rights reserved.");
}

} // namespace

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setupWindow();
    setupButtons();
    setupPicture();
    setupLabels();
    connectHandlers();
    Form_Load();
}

AboutBox::~AboutBox() = default;

QString AboutBox::PictureFolder()
{
    const QString &folder = pictureFolderOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void AboutBox::setPictureFolder(const QString &folder)
{
    pictureFolderOverride() = folder;
}

void AboutBox::setupWindow()
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(App::Title));
    setProperty("HelpContextID", HelpContextID);
    setFont(Look::sansSerif());
    setWindowIcon(QIcon(QString::fromLatin1(IconFile)));
    setFixedSize(Twips::toPixels(ClientWidth, screen()), Twips::toPixels(ClientHeight, screen()));

    // Two lines on top of each other: a white one two units wide under a
    // grey one, an etched rule between the publisher and the warning.
    Line1[0] = Line{0, RuleTop, RuleRight, RuleTop, Look::fromBgr(Look::White), 2};
    Line1[1] = Line{0, RuleTop, RuleRight, RuleTop, Look::fromBgr(Look::Grey), 1};
}

void AboutBox::setupButtons()
{
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setFont(Look::comic(8.25, false));
    cmdOK->setDefault(true);
    cmdOK->setProperty("HelpContextID", OKHelpContextID);
    Twips::place(cmdOK, 4920, 3120, 1260, 345);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setFont(Look::comic(8.25, false));
    cmdSysInfo->setProperty("HelpContextID", SysInfoHelpContextID);
    Twips::place(cmdSysInfo, 4920, 3480, 1245, 345);

    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
}

void AboutBox::setupPicture()
{
    DXAnimatedGIF1 = new AnimatedPicture(this);
    DXAnimatedGIF1->setObjectName(QStringLiteral("DXAnimatedGIF1"));
    DXAnimatedGIF1->setAccessibleName(QStringLiteral("Spider"));
    DXAnimatedGIF1->setAccessibleDescription(QStringLiteral("A spider swinging on its thread, Quillan's picture"));
    Twips::place(DXAnimatedGIF1, 120, 240, 1335, 1095);
}

QLabel *AboutBox::makeLabel(const char *name, int left, int top, int width, int height, const QFont &font)
{
    auto *label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Look::fromBgr(Look::Navy));
    label->setPalette(palette);
    Twips::place(label, left, top, width, height);
    return label;
}

void AboutBox::setupLabels()
{
    lblTitle = makeLabel("lblTitle", 1800, 240, 2325, 360, Look::comic(9, true));
    lblVersion = makeLabel("lblVersion", 1800, 600, 2565, 225, Look::comic(9, true));
    lblDescription = makeLabel("lblDescription", 1800, 1200, 2325, 525, Look::comic(9, true));
    lblDisclaimer = makeLabel("lblDisclaimer", 360, 1920, 5430, 1065, Look::sansSerif());
    Label1 = makeLabel("Label1", 1320, 3000, 3285, 225, Look::comic(8.25, false));

    lblDescription->setText(descriptionText());
    Label1->setText(copyrightText());
}

void AboutBox::connectHandlers()
{
    connect(cmdOK, &QPushButton::clicked, this, &AboutBox::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutBox::cmdSysInfo_Click);
}

void AboutBox::showModal()
{
    setModal(true);
    show();
}

// The picture is decoration: a missing or unreadable file leaves its area
// empty without a word.
void AboutBox::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(App::Title));
    lblVersion->setText(versionText());
    lblTitle->setText(QString::fromLatin1(App::Title));
    lblDisclaimer->setText(disclaimerText());
    DXAnimatedGIF1->setPictureFile(PictureFolder() + QLatin1String(PictureFileName));
    unsetCursor();
}

void AboutBox::cmdOK_Click()
{
    close();
}

void AboutBox::cmdSysInfo_Click()
{
    StartSysInfo();
}

void AboutBox::StartSysInfo()
{
    SysInfo::StartSysInfo([this](const std::string &message, const std::string &reason) {
        QString text = QString::fromStdString(message);
        if (!reason.empty())
            text += QLatin1Char('\n') + QString::fromLocal8Bit(reason);
        Globals::MsgBox(this, text);
    });
}

void AboutBox::reject()
{
    cmdOK->click();
}

void AboutBox::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    for (const Line &line : Line1) {
        const QRect band = Twips::toPixels(line.X1, line.Y1, line.X2 - line.X1, 0, screen());
        painter.fillRect(QRect(band.left(), band.top(), band.width(), line.BorderWidth), line.BorderColor);
    }
}

void AboutBox::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit unloaded();
}
