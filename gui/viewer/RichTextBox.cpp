#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/text_decoding.h"

#include "gui/window/Twips.h"

#include <QFile>
#include <QFont>
#include <QPalette>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace {

// Characters put on screen at once when a file is loaded: several screens
// of text even at the smallest font.
constexpr qsizetype FirstSliceChars = 64 * 1024;
// Characters appended per turn of the event loop afterwards.
constexpr qsizetype SliceChars = 128 * 1024;

} // namespace

RichTextBox::RichTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setupBox();
}

void RichTextBox::setupBox()
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    document()->setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    size_ = font().pointSizeF();

    sliceTimer_.setSingleShot(false);
    sliceTimer_.setInterval(0);
    connect(&sliceTimer_, &QTimer::timeout, this, &RichTextBox::appendNextSlice);
}

bool RichTextBox::setFileName(const QString &path, const QString &encoding)
{
    QFile file(path);
    if (path.isEmpty()) {
        error_ = tr("no file name given");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error_ = file.errorString();
        return false;
    }
    file.close();

    error_.clear();
    fileName_ = path;
    dropPending();
    pending_ = decodeText(bytes, encoding);
    pendingPos_ = 0;

    const qsizetype first = sliceEnd(0, FirstSliceChars);
    setPlainText(QStringView(pending_).first(first).toString());
    pendingPos_ = first;
    if (isLoading()) {
        sliceTimer_.start();
    } else {
        dropPending();
        emit loadFinished();
    }
    return true;
}

// Where a slice starting at from ends: just after a line end when there is
// one in reach, and never between the halves of a CR LF pair or of a
// surrogate pair.
qsizetype RichTextBox::sliceEnd(qsizetype from, qsizetype maxChars) const
{
    const qsizetype size = pending_.size();
    if (size - from <= maxChars)
        return size;
    qsizetype end = from + maxChars;
    const qsizetype lineEnd = pending_.lastIndexOf(u'\n', end - 1);
    if (lineEnd >= from)
        return lineEnd + 1;
    const QChar last = pending_.at(end - 1);
    if (last == u'\r' || last.isHighSurrogate())
        ++end;
    return end;
}

void RichTextBox::appendUpTo(qsizetype end)
{
    if (end <= pendingPos_)
        return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringView(pending_).sliced(pendingPos_, end - pendingPos_).toString());
    pendingPos_ = end;
}

void RichTextBox::appendNextSlice()
{
    appendUpTo(sliceEnd(pendingPos_, SliceChars));
    if (!isLoading()) {
        dropPending();
        emit loadFinished();
    }
}

void RichTextBox::finishLoading()
{
    if (!isLoading())
        return;
    appendUpTo(pending_.size());
    dropPending();
    emit loadFinished();
}

void RichTextBox::dropPending()
{
    sliceTimer_.stop();
    pending_ = QString();
    pendingPos_ = 0;
}

bool RichTextBox::setSize(double points)
{
    if (!(points > 0.0))
        return false;
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
    size_ = points;
    return true;
}

void RichTextBox::Refresh()
{
    viewport()->repaint();
}

QString RichTextBox::Text()
{
    finishLoading();
    return toPlainText();
}

void RichTextBox::setText(const QString &text)
{
    dropPending();
    setPlainText(text);
}

bool RichTextBox::setWidth(int twips)
{
    if (twips < 0)
        return false;
    widthTwips_ = twips;
    applyGeometry();
    return true;
}

bool RichTextBox::setHeight(int twips)
{
    if (twips < 0)
        return false;
    heightTwips_ = twips;
    applyGeometry();
    return true;
}

void RichTextBox::applyGeometry()
{
    resize(Twips::toPixels(widthTwips_, screen()), Twips::toPixels(heightTwips_, screen()));
}

int RichTextBox::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void RichTextBox::SelPrint(QPrinter *printer)
{
    if (!printer)
        return;
    finishLoading();
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        document()->print(printer);
        return;
    }
    QTextDocument selection;
    selection.setUndoRedoEnabled(false);
    selection.setDefaultFont(document()->defaultFont());
    QTextCursor(&selection).insertFragment(cursor.selection());
    selection.print(printer);
}
