// The "HTML to Text" command of the main window: the two input modes, the
// Enter key in both boxes, and the command's two roads (a page fetched by
// its address, or an HTML file on disk) into the text viewer.

#include "shell/frmMain.h"

#include "conversion/ConvertHtmlFile.h"
#include "conversion/PageRetrieval.h"
#include "inet/inet.h"
#include "shell/FormInstance.h"
#include "shell/Look.h"
#include "shell/MsgBox.h"
#include "viewer/frmView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr int EnterKey = 13;

const char *const BareAddress = "http://";
const char *const EnterCompleteUrl = "please enter complete URL";
const char *const NotConnected =
    "Quillan did not detect an active internet connection.  Please make sure you are connected before continuing";
const char *const ConversionFailed = "Quillan could not convert the HTML file to text.";

void yield()
{
    QCoreApplication::processEvents();
}

// Marks the command as running for its whole length, also when it leaves
// early.
class RunningFlag {
public:
    explicit RunningFlag(bool &flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &flag_;
};

} // namespace

void frmMain::optURL_Click()
{
    txtURL->setEnabled(true);
    txtGetFile->setEnabled(false);
    Look::setColour(txtGetFile, QPalette::Base, Look::Silver);
    txtGetFile->clear();
    Look::setColour(txtURL, QPalette::Base, Look::LightGrey);
}

void frmMain::optGetFile_Click()
{
    QPointer<QFileDialog> dialog = new QFileDialog(this, QStringLiteral("Open HTML File"));
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // The entry shows its description alone, "HTML Files (*.htm;*.html)";
    // the dialog matches the patterns of the last parentheses, which it
    // wants apart by spaces.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilter(QStringLiteral("HTML Files (*.htm;*.html) (*.htm *.html)"));
    dialog->setDefaultSuffix(QStringLiteral("htm"));
    if (!CommonDialog1FileName.isEmpty())
        dialog->selectFile(CommonDialog1FileName);
    if (dialog->exec() == QDialog::Accepted && dialog && !dialog->selectedFiles().isEmpty())
        CommonDialog1FileName = dialog->selectedFiles().constFirst();
    delete dialog;

    txtGetFile->setEnabled(true);
    Look::setColour(txtGetFile, QPalette::Base, Look::LightGrey);
    txtGetFile->setText(CommonDialog1FileName);
    Look::setColour(txtURL, QPalette::Base, Look::Silver);
    txtURL->setEnabled(false);
    txtGetFile->setFocus();
    txtGetFile->setCursorPosition(txtGetFile->text().size());
}

void frmMain::txtURL_KeyPress(int KeyAscii)
{
    if (KeyAscii == EnterKey)
        btnHTMLtoText->click();
}

void frmMain::txtGetFile_KeyPress(int KeyAscii)
{
    if (KeyAscii == EnterKey)
        btnHTMLtoText->click();
}

void frmMain::btnHTMLtoText_Click()
{
    // The command yields while it fetches: a second press meanwhile would
    // start a second run over the same page buffer.
    if (commandRunning_)
        return;
    RunningFlag running(commandRunning_);
    if (optURL->isChecked())
        convertFromUrl();
    else
        convertFromFile();
}

void frmMain::convertFromFile()
{
    const QString htmlPath = txtGetFile->text();
    if (!convertFile(htmlPath))
        return;
    yield();
    showViewer();
}

bool frmMain::convertFile(const QString &htmlPath)
{
    try {
        Globals::ConvertHtmlFile(htmlPath);
        return true;
    } catch (const quillan::ConversionError &error) {
        const QString path = QString::fromStdString(error.path());
        const QString reason = QString::fromStdString(error.reason());
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(ConversionFailed),
                                                  path.isEmpty() ? reason : path + QStringLiteral(": ") + reason));
        return false;
    }
}

void frmMain::showViewer()
{
    FormInstance<frmView>::get().ShowModal();
}

void frmMain::convertFromUrl()
{
    if (txtURL->text() == QLatin1String(BareAddress)) {
        Globals::MsgBox(this, QString::fromLatin1(EnterCompleteUrl));
        txtURL->setFocus();
        return;
    }
    const ConnectionReading connection = readConnectedOnline();
    if (!connection.online) {
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(NotConnected), connection.cause));
        return;
    }
    if (!FetchPage(txtURL->text()))
        return;

    yield();
    const QString pagePath = PageRetrieval::MakeFetchedPagePath();
    yield();
    QString writeError;
    if (pagePath.isEmpty() || !PageRetrieval::WritePageFile(pagePath, &writeError)) {
        if (writeError.isEmpty())
            writeError =
                QStringLiteral("No private folder for fetched pages could be made in %1").arg(QDir::tempPath());
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(ConversionFailed), writeError));
        return;
    }
    yield();
    const bool converted = convertFile(pagePath);
    yield();
    QFile::remove(pagePath);
    lbBytesReceived->hide();
    if (!converted)
        return;
    showViewer();
    PageRetrieval::ClearPageBuffer();
}

bool frmMain::FetchPage(const QString &url)
{
    // The user may close the window while the page arrives: then the
    // command ends without touching it.
    const QPointer<frmMain> self(this);
    const PageRetrieval::FetchResult result = PageRetrieval::RunFetch(*Inet1, url);
    if (!self || FormInstance<frmMain>::ifLoaded() != this)
        return false;
    if (!result.ok) {
        Globals::MsgBox(this, PageRetrieval::UnableToRetrieveMessage(txtURL->text(), result.reason));
        return false;
    }
    return true;
}

void frmMain::Inet1_StateChanged(short state)
{
    if (!PageRetrieval::ReadCompletedResponse(*Inet1, state))
        return;
    lbBytesReceived->show();
    lbBytesReceived->setText(PageRetrieval::BytesReceivedCaption(PageRetrieval::ReceivedBytes(), txtURL->text()));
}
