// The "HTML to Text" command of the main window: the two input modes, the
// Enter key in both boxes, and the command itself, which checks the input
// and hands the work to a conversion job; the job's signals bring the
// received-bytes label, the messages and the viewer.

#include "gui/shell/MainWindow.h"

#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "gui/window/Look.h"
#include "gui/window/MsgBox.h"
#include "net/ConversionJob.h"
#include "net/PageRetrieval.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

namespace {

const char *const BareAddress = "http://";
const char *const EnterCompleteUrl = "please enter complete URL";
const char *const NotConnected =
    "Quillan did not detect an active internet connection.  Please make sure you are connected before continuing";

} // namespace

void MainWindow::optURL_Click()
{
    txtURL->setEnabled(true);
    txtGetFile->setEnabled(false);
    Look::setColour(txtGetFile, QPalette::Base, Look::Silver);
    txtGetFile->clear();
    Look::setColour(txtURL, QPalette::Base, Look::LightGrey);
}

void MainWindow::optGetFile_Click()
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
    const QPointer<MainWindow> self(this);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!self)
        return; // the window went while the dialog was open
    if (accepted && dialog && !dialog->selectedFiles().isEmpty())
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

void MainWindow::txtURL_KeyPress(int KeyAscii)
{
    if (KeyAscii == Qt::Key_Return)
        btnHTMLtoText->click();
}

void MainWindow::txtGetFile_KeyPress(int KeyAscii)
{
    if (KeyAscii == Qt::Key_Return)
        btnHTMLtoText->click();
}

void MainWindow::createConversionJob()
{
    job_ = new quillan::net::ConversionJob(this);
    job_->setObjectName(QStringLiteral("conversionJob"));
    job_->setLimits(quillan::net::readFetchLimits());
    connect(job_, &quillan::net::ConversionJob::progress, this, [this](qint64 count) { showProgress(count); });
    connect(job_, &quillan::net::ConversionJob::converting, this, [this] {
        if (!busyPointer_)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        busyPointer_ = true;
    });
    connect(job_, &quillan::net::ConversionJob::textReady, this, &MainWindow::showText);
    // The message box waits for the user: shown from the event loop, never
    // from inside the job's own signal, so that the window (and its job) may
    // go while it is open.
    connect(job_, &quillan::net::ConversionJob::failed, this, &MainWindow::showFailure, Qt::QueuedConnection);
    connect(job_, &quillan::net::ConversionJob::cancelled, this, &MainWindow::endCommand);
}

void MainWindow::btnHTMLtoText_Click()
{
    if (commandRunning_)
        return;
    commandRunning_ = true;
    commandFetches_ = optURL->isChecked();
    quillan::text::Options options = job_->textOptions();
    options.kind = chkArticle->isChecked()    ? quillan::text::Kind::Article
                   : chkReadable->isChecked() ? quillan::text::Kind::Readable
                                              : quillan::text::Kind::Stripped;
    options.syntax = chkMarkdown->isChecked() ? quillan::text::Syntax::Markdown : quillan::text::Syntax::Plain;
    job_->setTextOptions(options);
    const bool started = commandFetches_ ? startFromUrl() : job_->convertFile(txtGetFile->text());
    if (!started)
        endCommand();
}

bool MainWindow::convertAddress(const QString &address)
{
    if (commandRunning_)
        return false;
    // What the user sees is what the command reads: the address in its
    // box, URL mode chosen.
    txtURL->setText(address);
    show();
    if (!optURL->isChecked())
        optURL->setChecked(true);
    btnHTMLtoText_Click();
    return true;
}

bool MainWindow::startFromUrl()
{
    const QPointer<MainWindow> self(this);
    if (txtURL->text() == QLatin1String(BareAddress)) {
        Globals::MsgBox(this, QString::fromLatin1(EnterCompleteUrl));
        if (self)
            txtURL->setFocus();
        return false;
    }
    const ConnectionReading connection = readConnectedOnline();
    if (!connection.online) {
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(NotConnected), connection.cause));
        return false;
    }
    return job_->convertAddress(txtURL->text());
}

void MainWindow::showProgress(qint64 receivedBytes)
{
    // The caption names the address as the box holds it now.
    lbBytesReceived->show();
    lbBytesReceived->setText(quillan::net::PageRetrieval::BytesReceivedCaption(receivedBytes, txtURL->text()));
}

void MainWindow::showText(const QString &textPath)
{
    lbBytesReceived->hide();
    // A text in the private folder (a fetched page's, or a file's whose
    // text path was taken) goes when the viewer closes, whatever Save did;
    // Save proposes a lasting place for it.
    const bool temporary = job_->textIsPrivate();
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    if (temporary) {
        const quillan::net::PageRetrieval::SavePlace place = job_->savePlace();
        view.setSavePlace(place.folder, place.fileName);
    }
    QString error;
    const ViewerWindow::TextFormat format = job_->textSyntax() == quillan::text::Syntax::Markdown
                                                ? ViewerWindow::TextFormat::Markdown
                                                : ViewerWindow::TextFormat::Plain;
    if (!view.loadText({textPath, job_->textEncoding(), pageName(), temporary, format}, &error)) {
        if (temporary)
            QFile::remove(textPath);
        showFailure(QString::fromLatin1(quillan::net::ConversionFailedMessage),
                    textPath + QStringLiteral(": ") + error);
        return;
    }
    connect(&view, &ViewerWindow::unloaded, this, &MainWindow::endCommand, Qt::UniqueConnection);
    if (busyPointer_) {
        QGuiApplication::restoreOverrideCursor();
        busyPointer_ = false;
    }
    view.showModal();
}

// The page's title; without one, the HTML file's name, or the last segment
// of the address (its host when the path has none).
QString MainWindow::pageName() const
{
    const QString title = job_->pageTitle();
    if (!title.isEmpty())
        return title;
    if (!commandFetches_)
        return QFileInfo(txtGetFile->text()).fileName();
    const QUrl address(txtURL->text());
    const QString segment = address.fileName();
    return segment.isEmpty() ? address.host() : segment;
}

void MainWindow::showFailure(const QString &message, const QString &reason)
{
    if (!commandRunning_)
        return; // the command was ended meanwhile (the window is closing)
    if (busyPointer_) {
        QGuiApplication::restoreOverrideCursor();
        busyPointer_ = false;
    }
    const QPointer<MainWindow> self(this);
    Globals::MsgBox(this, Globals::withReason(message, reason));
    if (self)
        endCommand();
}

void MainWindow::endCommand()
{
    if (busyPointer_) {
        QGuiApplication::restoreOverrideCursor();
        busyPointer_ = false;
    }
    lbBytesReceived->hide();
    if (!commandRunning_)
        return;
    commandRunning_ = false;
    emit commandEnded();
}
