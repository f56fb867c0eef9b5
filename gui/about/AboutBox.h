#pragma once
// The About box: names the program, its version and build date and its
// publisher, carries a legal warning, the animated spider picture, an OK
// button and a button that starts the System Information tool.
//
// One About box at a time: reach it through FormInstance<AboutBox>::get(),
// which loads it (texts, picture); then showModal() shows it application-
// modal and returns at once; unloaded() tells when it has been closed. Every opening
// loads afresh, so the texts follow the program's title and version.
//
// OK, Esc, Enter (unless "System Info..." has the focus) and the close box
// all unload it. "System Info..." leaves it open.

#include <QColor>
#include <QDialog>
#include <QString>

#include <array>

class AnimatedPicture;
class QLabel;
class QPushButton;

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);
    ~AboutBox() override;

    // Shows the dialog application-modal and returns at once.
    void showModal();

    // Help context ids carried for the program's help (property
    // "HelpContextID" on the dialog and on each button).
    static constexpr int HelpContextID = 420;
    static constexpr int OKHelpContextID = 520;
    static constexpr int SysInfoHelpContextID = 530;

    // The folder spider14.gif is read from: the program's own folder,
    // unless set otherwise (an empty folder restores that).
    static QString PictureFolder();
    static void setPictureFolder(const QString &folder);

    // One of the lines that draw the etched rule, in twips.
    struct Line {
        int X1, Y1, X2, Y2;
        QColor BorderColor;
        int BorderWidth;
    };

    // Controls.
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;
    AnimatedPicture *DXAnimatedGIF1 = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QLabel *Label1 = nullptr;
    std::array<Line, 2> Line1;

    // Handlers.
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    // Finds and starts the System Information tool, or says that it is
    // unavailable (a message box owned by the dialog).
    void StartSysInfo();

signals:
    // The dialog has been closed; it is deleted soon after.
    void unloaded();

public slots:
    // Esc and the close box act as a click on OK.
    void reject() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setupWindow();
    void setupButtons();
    void setupPicture();
    void setupLabels();
    void connectHandlers();
    QLabel *makeLabel(const char *name, int left, int top, int width, int height, const QFont &font);
};
