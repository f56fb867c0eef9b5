#pragma once
// The splash: the program's name, what it does, its version and a moving
// picture, with a Start button that opens the main window and a Quit button
// that ends the program. Nothing closes it by time.
//
// The window has no title bar and no control box; it draws its own fixed
// dialog border and stays out of the taskbar. While it is the only window,
// closing it ends the program; Start hands over to the main window without
// ending it.
//
// One splash at a time: reach it through FormInstance<SplashWindow>.

#include <QFrame>
#include <QString>
#include <QWidget>

class AnimatedPicture;

// Shown, with the reason below it, when Start finds no main window to open
// (its module missing or from another build).
inline constexpr const char *CannotOpenMainWindowMessage = "Quillan could not open its main window.";
class QLabel;
class QPushButton;

// A frame that reports a click (left button pressed and released over it)
// on its own bare area. Children that take the mouse keep their clicks.
class ClickableFrame : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool pressed_ = false;
};

class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);
    ~SplashWindow() override;

    // Controls, all inside Frame1.
    ClickableFrame *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    AnimatedPicture *DXAnimatedGIF1 = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblCopyright = nullptr;
    QPushButton *btnStart = nullptr;
    QPushButton *btnQuit = nullptr;

    // Handlers.
    void Form_Load();
    void btnStart_Click();
    void btnQuit_Click();
    void Frame1_Click();

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setupWindow();
    void setupLabels();
    void setupPicture();
    void setupButtons();
    void connectHandlers();
    QLabel *makeLabel(const QString &name, const QString &text, const QFont &font, int left, int top, int width,
                      int height);
    QPushButton *makeButton(const QString &name, const QString &caption, int left, int top);
    void widenToFit(QLabel *label);
};
