// The start-up benchmark's baseline: the least a Qt Widgets program does to
// put one window on screen, a window the size of Quillan's splash.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setObjectName(QStringLiteral("baseline"));
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.resize(583, 234);
    window.show();
    return application.exec();
}
