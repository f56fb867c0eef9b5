// Opening a 20 MB text in the viewer, and changing its font size, against
// the time it takes just to read and decode the same file.
//
// Targets: the text is on screen within 3x the read-and-decode time, and a
// font-size change on the whole text takes under 50 ms.

#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 TextBytes = 20 * 1024 * 1024;
constexpr int Runs = 5;

QString writeText(const QTemporaryDir &dir)
{
    const char *words[] = {"the",   "viewer", "shows", "converted", "text",  "in",   "a",           "fixed",
                           "pitch", "font",   "page",  "price",     "&amp;", "news", "caf\xc3\xa9", "2024"};
    QRandomGenerator rng(20240601);
    QByteArray text;
    text.reserve(TextBytes + 256);
    while (text.size() < TextBytes) {
        const int count = 2 + int(rng.bounded(14));
        for (int i = 0; i < count; ++i) {
            if (i)
                text += ' ';
            text += words[rng.bounded(int(sizeof words / sizeof *words))];
        }
        text += "\r\n";
    }
    const QString path = dir.filePath("big.TXT");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double readAndDecodeMs(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QString text = QString::fromUtf8(file.readAll());
    const double ms = timer.nsecsElapsed() / 1e6;
    if (text.isEmpty())
        qFatal("empty text");
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const QString path = writeText(dir);
    readAndDecodeMs(path); // warm the page cache

    std::vector<double> reads;
    for (int i = 0; i < Runs; ++i)
        reads.push_back(readAndDecodeMs(path));

    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    view.textSaved = true; // the benchmark's file is removed with its folder
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        qFatal("viewer not shown");
    RichTextBox &box = *view.txtHTML;

    std::vector<double> onScreen;
    std::vector<double> whole;
    for (int i = 0; i < Runs; ++i) {
        box.setText(QString());
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        if (!box.setFileName(path))
            qFatal("cannot load: %s", qPrintable(box.errorString()));
        box.Refresh();
        onScreen.push_back(timer.nsecsElapsed() / 1e6);
        if (box.cursorForPosition(QPoint(2, 2)).block().text().isEmpty())
            qFatal("no text on screen");
        while (box.isLoading())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        whole.push_back(timer.nsecsElapsed() / 1e6);
    }
    const qint64 chars = box.document()->characterCount();

    std::vector<double> fontChanges;
    for (int i = 0; i < 2 * Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (i % 2 == 0)
            view.btnLarger_Click();
        else
            view.btnSmaller_Click();
        QCoreApplication::processEvents();
        fontChanges.push_back(timer.nsecsElapsed() / 1e6);
    }

    const double read = median(reads);
    const double load = median(onScreen);
    const double full = median(whole);
    const double font = median(fontChanges);
    const double fontWorst = *std::max_element(fontChanges.begin(), fontChanges.end());
    const bool loadMet = load <= 3.0 * read;
    const bool fontMet = fontWorst < 50.0;

    std::printf("text: %.1f MB, %lld characters in the box\n", TextBytes / 1048576.0, static_cast<long long>(chars));
    std::printf("read and decode without a window: %8.1f ms (median of %d)\n", read, Runs);
    std::printf("FileName set to text on screen:   %8.1f ms = %.2fx read-and-decode (target <= 3x): %s\n", load,
                load / read, loadMet ? "met" : "MISSED");
    std::printf("whole text in the box (the rest appended from the event loop): %.1f ms = %.2fx\n", full, full / read);
    std::printf("font-size change on the whole text: median %.1f ms, worst %.1f ms (target < 50 ms): %s\n", font,
                fontWorst, fontMet ? "met" : "MISSED");

    view.close();
    return 0;
}
