#include "gui/window/HtmlHelpWindow.h"

#include "gui/window/Placement.h"
#include "platform/htmlhelp/ChmFile.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStringDecoder>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

const QString kTopicScheme = QStringLiteral("chm");
const QString kNoticeScheme = QStringLiteral("about");

QString decodeHtml(const QByteArray &bytes)
{
    QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (!decoder.hasError())
            return text;
    }
    // Older help files are 8-bit text in the author's code page.
    return QString::fromLatin1(bytes);
}

} // namespace

// ---------------------------------------------------------------- browser

HtmlHelpBrowser::HtmlHelpBrowser(QWidget *parent) : QTextBrowser(parent)
{
    // Links are followed by the window, which keeps web addresses out of the
    // help file and hands them to the desktop instead.
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void HtmlHelpBrowser::setHelpFile(std::shared_ptr<const platform::htmlhelp::ChmFile> file)
{
    file_ = std::move(file);
}

QUrl HtmlHelpBrowser::addNotice(const QString &html)
{
    QUrl url;
    url.setScheme(kNoticeScheme);
    url.setPath(QStringLiteral("help-notice-%1").arg(++noticeCount_));
    notices_.insert(url.path(), html);
    return url;
}

QUrl HtmlHelpBrowser::topicUrl(const std::string &topicPath)
{
    const QString text = QString::fromStdString(topicPath);
    const auto hash = text.indexOf(QLatin1Char('#'));
    QUrl url;
    url.setScheme(kTopicScheme);
    url.setPath(hash < 0 ? text : text.left(hash));
    if (hash >= 0)
        url.setFragment(text.mid(hash + 1));
    return url;
}

QVariant HtmlHelpBrowser::loadResource(int type, const QUrl &name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() == kNoticeScheme)
        return notices_.value(url.path());
    if (url.scheme() != kTopicScheme || !file_)
        return {};
    const auto stored = file_->read(url.path(QUrl::FullyEncoded).toStdString());
    if (!stored)
        return {};
    const QByteArray bytes(stored->data(), static_cast<qsizetype>(stored->size()));
    switch (type) {
    case QTextDocument::HtmlResource: return decodeHtml(bytes);
    case QTextDocument::StyleSheetResource: return QString::fromUtf8(bytes);
    default: return bytes;
    }
}

// ----------------------------------------------------------------- window

QPointer<HtmlHelpWindow> HtmlHelpWindow::unowned_;

HtmlHelpWindow *HtmlHelpWindow::existing(QWidget *owner)
{
    if (owner == nullptr)
        return unowned_.data();
    return owner->findChild<HtmlHelpWindow *>(QString(), Qt::FindDirectChildrenOnly);
}

HtmlHelpWindow *HtmlHelpWindow::forOwner(QWidget *owner)
{
    if (HtmlHelpWindow *window = existing(owner))
        return window;
    auto *window = new HtmlHelpWindow(owner);
    if (owner == nullptr)
        unowned_ = window;
    return window;
}

HtmlHelpWindow::HtmlHelpWindow(QWidget *owner) : QWidget(owner, Qt::Window)
{
    // A help window never keeps the program running on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowModality(Qt::NonModal);
    setupControls();
    setupLayout();
    setupConnections();
    resize(640, 520);
    Placement::keepOnScreen(*this);
    if (owner != nullptr)
        owner->installEventFilter(this);
}

void HtmlHelpWindow::setupControls()
{
    btnBack = new QPushButton(tr("Back"), this);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnBack->setEnabled(false);
    btnForward = new QPushButton(tr("Forward"), this);
    btnForward->setObjectName(QStringLiteral("btnForward"));
    btnForward->setEnabled(false);
    btnContents = new QPushButton(tr("Contents"), this);
    btnContents->setObjectName(QStringLiteral("btnContents"));
    brwTopic = new HtmlHelpBrowser(this);
    brwTopic->setObjectName(QStringLiteral("brwTopic"));
}

void HtmlHelpWindow::setupLayout()
{
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnBack);
    buttons->addWidget(btnForward);
    buttons->addWidget(btnContents);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(brwTopic, 1);
}

void HtmlHelpWindow::setupConnections()
{
    connect(btnBack, &QPushButton::clicked, this, &HtmlHelpWindow::btnBack_Click);
    connect(btnForward, &QPushButton::clicked, this, &HtmlHelpWindow::btnForward_Click);
    connect(btnContents, &QPushButton::clicked, this, &HtmlHelpWindow::btnContents_Click);
    connect(brwTopic, &QTextBrowser::anchorClicked, this, &HtmlHelpWindow::brwTopic_AnchorClicked);
    connect(brwTopic, &QTextBrowser::sourceChanged, this, &HtmlHelpWindow::brwTopic_SourceChanged);
    connect(brwTopic, &QTextBrowser::backwardAvailable, btnBack, &QWidget::setEnabled);
    connect(brwTopic, &QTextBrowser::forwardAvailable, btnForward, &QWidget::setEnabled);
}

void HtmlHelpWindow::setHelpFile(std::shared_ptr<const platform::htmlhelp::ChmFile> file, const QString &helpFile)
{
    const bool otherFile = QFileInfo(helpFile).absoluteFilePath() != QFileInfo(helpFile_).absoluteFilePath();
    file_ = std::move(file);
    helpFile_ = helpFile;
    brwTopic->setHelpFile(file_);
    if (otherFile)
        forgetHistory_ = true; // once the first page of this file is shown
    btnContents->setEnabled(file_ && file_->defaultTopic().has_value());
    updateCaption();
}

void HtmlHelpWindow::showTopic(const std::string &topicPath)
{
    const QUrl url = HtmlHelpBrowser::topicUrl(topicPath);
    if (url == brwTopic->source())
        brwTopic->reload(); // the file may have been rebuilt since
    else
        brwTopic->setSource(url);
    forgetEarlierFiles();
}

void HtmlHelpWindow::forgetEarlierFiles()
{
    // Pages of another help file cannot be shown from this one.
    if (forgetHistory_) {
        brwTopic->clearHistory();
        forgetHistory_ = false;
    }
}

void HtmlHelpWindow::showMissingTopic(std::optional<qint32> contextId)
{
    const QString fileName = QStringLiteral("<b>%1</b>").arg(QFileInfo(helpFile_).fileName().toHtmlEscaped());
    const QString sentence = contextId
                                 ? tr("The help file %1 has no topic for context ID %2.").arg(fileName).arg(*contextId)
                                 : tr("The help file %1 names no start page.").arg(fileName);
    QString html = QStringLiteral("<html><head><title>%1</title></head><body><h2>%1</h2><p>%2</p>")
                       .arg(tr("Topic not found"), sentence);
    if (file_) {
        if (const auto contents = file_->defaultTopic()) {
            html += QStringLiteral("<p><a href=\"%1\">%2</a></p>")
                        .arg(HtmlHelpBrowser::topicUrl(*contents).toString(QUrl::FullyEncoded),
                             tr("Show the contents of the help file"));
        }
    }
    html += QStringLiteral("</body></html>");
    brwTopic->setSource(brwTopic->addNotice(html), QTextDocument::HtmlResource);
    forgetEarlierFiles();
}

void HtmlHelpWindow::present()
{
    show();
    raise();
    activateWindow();
}

void HtmlHelpWindow::btnBack_Click()
{
    brwTopic->backward();
}

void HtmlHelpWindow::btnForward_Click()
{
    brwTopic->forward();
}

void HtmlHelpWindow::btnContents_Click()
{
    if (!file_)
        return;
    if (const auto contents = file_->defaultTopic())
        showTopic(*contents);
}

void HtmlHelpWindow::brwTopic_AnchorClicked(const QUrl &link)
{
    const QUrl url = link.isRelative() ? brwTopic->source().resolved(link) : link;
    if (url.scheme() == kTopicScheme || url.scheme() == kNoticeScheme)
        brwTopic->setSource(url);
    else
        QDesktopServices::openUrl(url);
}

void HtmlHelpWindow::brwTopic_SourceChanged(const QUrl &)
{
    updateCaption();
}

void HtmlHelpWindow::Owner_Hidden()
{
    // The help window goes when its owner goes, as an owned window does.
    close();
}

bool HtmlHelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
        Owner_Hidden();
    return QWidget::eventFilter(watched, event);
}

void HtmlHelpWindow::updateCaption()
{
    QString caption = file_ && !file_->title().empty() ? QString::fromStdString(file_->title()) : tr("HTML Help");
    const QString topic = brwTopic->documentTitle();
    if (!topic.isEmpty() && topic != caption)
        caption += QStringLiteral(" - ") + topic;
    setWindowTitle(caption);
}
