#pragma once

// The help viewer behind HtmlHelp: one window per owner (and one without an
// owner) that shows the topics of a compiled help file. Topics, pictures and
// stylesheets are read out of the .chm; links, Back and Forward work inside
// the window. It is never modal.

#include <QHash>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class QPushButton;

namespace platform::htmlhelp {
class ChmFile;
}

// The topic pane: a QTextBrowser whose resources come from the help file.
// Topics have addresses "chm:/path/in/file.htm#fragment"; the window's own
// notices live under "about:".
class HtmlHelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit HtmlHelpBrowser(QWidget *parent = nullptr);

    void setHelpFile(std::shared_ptr<const platform::htmlhelp::ChmFile> file);
    // Registers the text of a notice page and returns its address.
    QUrl addNotice(const QString &html);

    static QUrl topicUrl(const std::string &topicPath);

    QVariant loadResource(int type, const QUrl &name) override;

private:
    std::shared_ptr<const platform::htmlhelp::ChmFile> file_;
    QHash<QString, QString> notices_;
    int noticeCount_ = 0;
};

class HtmlHelpWindow : public QWidget {
    Q_OBJECT
public:
    // The help window of `owner` (nullptr: the window without an owner),
    // created on first use and reused afterwards.
    static HtmlHelpWindow *forOwner(QWidget *owner);
    // The same without creating one; nullptr when there is none yet.
    static HtmlHelpWindow *existing(QWidget *owner);

    // Switches to `file` (read from `helpFile`). History is kept while the
    // same help file is shown again and dropped when another one is.
    void setHelpFile(std::shared_ptr<const platform::htmlhelp::ChmFile> file, const QString &helpFile);
    void showTopic(const std::string &topicPath);
    // Shows the window's own notice that the help file has no topic for
    // `contextId`, or no start page when no id is given.
    void showMissingTopic(std::optional<qint32> contextId);
    // Shows, raises and activates the window.
    void present();

    HtmlHelpBrowser *browser() const { return brwTopic; }
    QString helpFile() const { return helpFile_; }

    // Handlers.
    void btnBack_Click();
    void btnForward_Click();
    void btnContents_Click();
    void brwTopic_AnchorClicked(const QUrl &link);
    void brwTopic_SourceChanged(const QUrl &source);
    void Owner_Hidden();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit HtmlHelpWindow(QWidget *owner);
    void setupControls();
    void setupLayout();
    void setupConnections();
    void updateCaption();
    void forgetEarlierFiles();

    QPushButton *btnBack = nullptr;
    QPushButton *btnForward = nullptr;
    QPushButton *btnContents = nullptr;
    HtmlHelpBrowser *brwTopic = nullptr;

    std::shared_ptr<const platform::htmlhelp::ChmFile> file_;
    QString helpFile_;
    bool forgetHistory_ = false;

    static QPointer<HtmlHelpWindow> unowned_;
};
