#include "gui/viewer/ViewerWindow.h"

#include "gui/viewer/FindDialog.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/file_copy.h"
#include "gui/window/App.h"
#include "gui/window/ContextIDs.h"
#include "gui/window/HelpFile.h"
#include "gui/window/Look.h"
#include "gui/window/MsgBox.h"
#include "gui/window/Placement.h"
#include "gui/window/Twips.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>

namespace {

// Layout, in twips.
constexpr int DesignClientWidth = 12120;
constexpr int DesignClientHeight = 4560;
constexpr int TextLeft = 120;
constexpr int TextTop = 120;
constexpr int TextWidth = 11775;
constexpr int TextHeight = 3565;
constexpr int FontRowLeft = 1200;
constexpr int CommandRowLeft = 4320;
constexpr int RowTop = 3840;

constexpr double StartFontSize = 9.75;
constexpr double FontStep = 1.0;
constexpr double SmallerThreshold = 8.0;

constexpr qint32 ViewerHelpContext = 1028;

void moveTopInTwips(QWidget *widget, int left, int top)
{
    widget->move(Twips::toPixels(left, widget->screen()), Twips::toPixels(top, widget->screen()));
}

std::filesystem::path toPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The print dialog with its page-range fields always disabled. Turning the
// PrintPageRange option off is not enough: with CUPS the dialog brings the
// from/to fields back for server-side page selection each time it is shown.
class ViewerPrintDialog : public QPrintDialog {
public:
    using QPrintDialog::QPrintDialog;

    void setVisible(bool visible) override
    {
        QPrintDialog::setVisible(visible);
        if (visible)
            disablePageRangeFields();
    }

private:
    void disablePageRangeFields()
    {
        for (const char *name : {"printRange", "from", "to", "pagesRadioButton", "pagesLineEdit"}) {
            if (QWidget *field = findChild<QWidget *>(QLatin1String(name)))
                field->setEnabled(false);
        }
    }
};

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setupWindow();
    setupTextBox();
    setupFontSizeRow();
    setupCommandButtons();
    connectHandlers();
    setupKeys();
    Form_Load();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::setupWindow()
{
    setObjectName(QStringLiteral("frmView"));
    setWindowTitle(QString::fromLatin1(App::Title));
    resize(Twips::toPixels(DesignClientWidth, screen()), Twips::toPixels(DesignClientHeight, screen()));
    Placement::keepOnScreen(*this);
}

void ViewerWindow::setupTextBox()
{
    txtHTML = new RichTextBox(this);
    txtHTML->setObjectName(QStringLiteral("txtHTML"));
    txtHTML->setAccessibleName(QStringLiteral("Converted text"));
    txtHTML->setAccessibleDescription(QStringLiteral("The text made from the page, as the text file holds it"));
    txtHTML->setFont(Look::courier(StartFontSize));
    txtHTML->setSize(StartFontSize);
    QPalette palette = txtHTML->palette();
    palette.setColor(QPalette::Base, Look::fromBgr(Look::LightGrey));
    txtHTML->setPalette(palette);
    moveTopInTwips(txtHTML, TextLeft, TextTop);
    txtHTML->setWidth(TextWidth);
    txtHTML->setHeight(TextHeight);
}

QPushButton *ViewerWindow::makeButton(QWidget *panel, const QString &caption, int leftTwips, int topTwips,
                                      int widthTwips, int heightTwips)
{
    auto *button = new QPushButton(caption, panel);
    button->setFont(Look::sansSerif());
    button->setAutoDefault(false);
    Twips::place(button, leftTwips, topTwips, widthTwips, heightTwips);
    return button;
}

void ViewerWindow::setupFontSizeRow()
{
    Picture2 = new QWidget(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Twips::place(Picture2, FontRowLeft, RowTop, 2415, 375);

    btnSmaller = makeButton(Picture2, QStringLiteral("<<"), 0, 0, 615, 255);
    btnSmaller->setObjectName(QStringLiteral("btnSmaller"));

    Label1 = new QLabel(QStringLiteral("Font Size"), Picture2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Look::sansSerif());
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Twips::place(Label1, 720, 0, 855, 255);

    btnLarger = makeButton(Picture2, QStringLiteral(">>"), 1680, 0, 615, 255);
    btnLarger->setObjectName(QStringLiteral("btnLarger"));
}

void ViewerWindow::setupCommandButtons()
{
    Picture1 = new QWidget(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Twips::place(Picture1, CommandRowLeft, RowTop, 3975, 615);

    // Placed every 960 twips but 975 wide: neighbours overlap by 15 twips.
    btnPrint = makeButton(Picture1, QStringLiteral("Print"), 0, 0, 975, 495);
    btnSave = makeButton(Picture1, QStringLiteral("Save"), 960, 0, 975, 495);
    btnClose = makeButton(Picture1, QStringLiteral("Close"), 1920, 0, 975, 495);
    btnHelp = makeButton(Picture1, QStringLiteral("Help"), 2880, 0, 975, 495);
    btnPrint->setObjectName(QStringLiteral("btnPrint"));
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
}

void ViewerWindow::connectHandlers()
{
    connect(btnLarger, &QPushButton::clicked, this, &ViewerWindow::btnLarger_Click);
    connect(btnSmaller, &QPushButton::clicked, this, &ViewerWindow::btnSmaller_Click);
    connect(btnPrint, &QPushButton::clicked, this, &ViewerWindow::btnPrint_Click);
    connect(btnSave, &QPushButton::clicked, this, &ViewerWindow::btnSave_Click);
    connect(btnClose, &QPushButton::clicked, this, &ViewerWindow::btnClose_Click);
    connect(btnHelp, &QPushButton::clicked, this, &ViewerWindow::btnHelp_Click);
}

// The keys press the buttons, so that a key and a click take one road.
void ViewerWindow::setupKeys()
{
    auto bind = [this](std::initializer_list<QKeySequence> keys, auto action) {
        for (const QKeySequence &key : keys)
            connect(new QShortcut(key, this), &QShortcut::activated, this, action);
    };
    bind({QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] { btnSave->click(); });
    bind({QKeySequence(Qt::CTRL | Qt::Key_P)}, [this] { btnPrint->click(); });
    // Ctrl++ as typed with or without Shift, and on the keypad.
    bind({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
          QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Plus),
          QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Plus)},
         [this] { btnLarger->click(); });
    bind({QKeySequence(Qt::CTRL | Qt::Key_Minus),
          QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_Minus)},
         [this] { btnSmaller->click(); });
    bind({QKeySequence(Qt::Key_Escape)}, [this] { btnClose->click(); });
    bind({QKeySequence(Qt::CTRL | Qt::Key_F)}, &ViewerWindow::findText);
    bind({QKeySequence(Qt::Key_F3)}, &ViewerWindow::findNextText);
}

void ViewerWindow::setPageName(const QString &name)
{
    const QString caption = QString::fromLatin1(App::Title);
    setWindowTitle(name.isEmpty() ? caption : name + QStringLiteral(" - ") + caption);
}

void ViewerWindow::findText()
{
    if (!findDialog_)
        findDialog_ = new FindDialog(txtHTML, this);
    findDialog_->present();
}

// With nothing looked for yet, the find dialog opens.
void ViewerWindow::findNextText()
{
    if (!findDialog_ || findDialog_->txtFind->text().isEmpty()) {
        findText();
        return;
    }
    findDialog_->findNext();
}

void ViewerWindow::showModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
}

bool ViewerWindow::loadText(const QString &path, bool temporary, QString *error)
{
    return loadText(Handover{path, {}, {}, temporary}, error);
}

bool ViewerWindow::loadText(const Handover &text, QString *error)
{
    if (!txtHTML->setFileName(text.path, text.encoding)) {
        if (error)
            *error = txtHTML->errorString();
        return false;
    }
    txtHTML->Refresh();
    textTemporary = text.temporary;
    format_ = text.format;
    if (!text.pageName.isEmpty())
        setPageName(text.pageName);
    return true;
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    if (findDialog_)
        findDialog_->close();
    Form_Unload();
    event->accept();
    emit unloaded();
}

void ViewerWindow::Form_Load()
{
    textSaved = false;
}

// Lays the window out from its outer size (title bar and borders included).
// A size the text box refuses is skipped and the next steps still run.
void ViewerWindow::Form_Resize()
{
    const QRect outer = frameGeometry();
    const int outerWidth = Twips::fromPixels(outer.width(), screen());
    const int outerHeight = Twips::fromPixels(outer.height(), screen());

    if (outerWidth > 1200)
        txtHTML->setWidth(outerWidth - 200);
    txtHTML->setHeight(outerHeight - 1400);
    const int rowTop = txtHTML->Height() + 300;
    moveTopInTwips(Picture1, CommandRowLeft, rowTop);
    moveTopInTwips(Picture2, FontRowLeft, rowTop);
}

// The text file goes unless it was kept; a file that cannot be deleted is
// left as it is, without a word.
void ViewerWindow::Form_Unload()
{
    if (!textSaved || textTemporary) {
        const QString path = txtHTML->FileName();
        if (!path.isEmpty())
            QFile::remove(path);
    }
    txtHTML->setText(QString());
}

void ViewerWindow::btnLarger_Click()
{
    txtHTML->setSize(txtHTML->Size() + FontStep);
    txtHTML->Refresh();
}

// 8 points is the threshold of the test, not a floor: 8.75 becomes 7.75.
void ViewerWindow::btnSmaller_Click()
{
    if (txtHTML->Size() > SmallerThreshold) {
        txtHTML->setSize(txtHTML->Size() - FontStep);
        txtHTML->Refresh();
    }
}

void ViewerWindow::btnClose_Click()
{
    close();
}

void ViewerWindow::btnHelp_Click()
{
    ContextIDs::ShowHelp(Globals::HelpFilePath, nullptr, ViewerHelpContext);
}

QPrinter *ViewerWindow::Printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return printer_.get();
}

QPrintDialog *ViewerWindow::createPrintDialog(QPrinter *printer)
{
    auto *dialog = new ViewerPrintDialog(printer, this);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    const bool selected = txtHTML->SelLength() > 0;
    dialog->setOption(QAbstractPrintDialog::PrintSelection, selected);
    dialog->setPrintRange(selected ? QAbstractPrintDialog::Selection : QAbstractPrintDialog::AllPages);
    return dialog;
}

// Prints what the user left chosen in the print dialog. Cancelling the
// dialog prints nothing at all.
void ViewerWindow::btnPrint_Click()
{
    QPrinter *printer = Printer();
    QPointer<QPrintDialog> dialog = createPrintDialog(printer);
    QPointer<ViewerWindow> self(this);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!self)
        return;
    delete dialog;
    if (accepted)
        printChosenRange(printer);
}

void ViewerWindow::printChosenRange(QPrinter *printer)
{
    if (printer->printRange() == QPrinter::Selection || txtHTML->SelLength() == 0) {
        txtHTML->SelPrint(printer);
        return;
    }
    // "All" chosen with text selected: print the whole text, then give the
    // user the selection back.
    const QTextCursor kept = txtHTML->textCursor();
    QTextCursor none = kept;
    none.clearSelection();
    txtHTML->setTextCursor(none);
    txtHTML->SelPrint(printer);
    txtHTML->setTextCursor(kept);
}

QFileDialog *ViewerWindow::createSaveDialog()
{
    auto *dialog = new QFileDialog(this, tr("Save As"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The suffix is for a name typed without one.
    if (format_ == TextFormat::Markdown) {
        dialog->setNameFilter(QStringLiteral("Markdown Files (*.md)"));
        dialog->setDefaultSuffix(QStringLiteral("md"));
    } else {
        dialog->setNameFilter(QStringLiteral("txt Files (*.txt)"));
        dialog->setDefaultSuffix(QStringLiteral("txt"));
    }
    const QString shown = txtHTML->FileName();
    if (!saveFolder_.isEmpty())
        dialog->setDirectory(saveFolder_);
    else if (!shown.isEmpty())
        dialog->setDirectory(QFileInfo(shown).absolutePath());
    if (!saveName_.isEmpty())
        dialog->selectFile(saveName_);
    return dialog;
}

void ViewerWindow::setSavePlace(const QString &folder, const QString &fileName)
{
    saveFolder_ = folder;
    saveName_ = fileName;
}

// The text file is kept whether the dialog was confirmed or cancelled; a
// confirmed path also gets a copy of the text file.
void ViewerWindow::btnSave_Click()
{
    QPointer<QFileDialog> dialog = createSaveDialog();
    QPointer<ViewerWindow> self(this);
    const bool confirmed = dialog->exec() == QDialog::Accepted;
    if (!self)
        return;
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    textSaved = true;
    if (confirmed && !chosen.isEmpty())
        saveCopyTo(chosen.first());
}

void ViewerWindow::saveCopyTo(const QString &target)
{
    const QString source = txtHTML->FileName();
    QString failedPath;
    QString reason;
    if (source.isEmpty()) {
        failedPath = target;
        reason = tr("There is no text file to copy.");
    } else {
        try {
            quillan::copyFileIntoPlace(toPath(source), toPath(target));
            return;
        } catch (const quillan::CopyError &e) {
            failedPath = QFile::decodeName(QByteArray::fromStdString(e.path()));
            reason = QString::fromLocal8Bit(e.reason().c_str());
        }
    }
    Globals::MsgBox(this, tr("The text could not be saved to %1.\n%2").arg(failedPath, reason));
}
