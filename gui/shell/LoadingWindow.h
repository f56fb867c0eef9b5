#pragma once
// The loading window: a small fixed window that asks the user to stand by
// while the start-up routine puts up the splash. Its pointer is busy from
// its load to its unload.
//
// One loading window at a time: reach it through FormInstance<LoadingWindow>.

#include <QWidget>

class QLabel;

class LoadingWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoadingWindow(QWidget *parent = nullptr);
    ~LoadingWindow() override;

    // Controls.
    QLabel *Label1 = nullptr;

    // Handlers.
    void Form_Load();
    void Form_Unload();

signals:
    // The window has been closed; it is deleted soon after.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setupWindow();
    void setupLabel();
};
