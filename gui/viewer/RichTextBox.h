#pragma once
// The viewer's text box: a read-only multi-line box that shows one text file.
//
// It offers what the viewer uses of a rich-text box and nothing more:
// FileName (setting it loads the file as plain text), the font Size in
// fractional points, Refresh, Text, Width and Height in twips, SelLength and
// SelPrint. The user can select and copy; the file on disk is only read.
//
// Loading: the file is read in one go and decoded as UTF-8 when it is valid
// UTF-8, else as Windows-1252 (text_decoding.h); the file is never changed. The first part of the
// text is put on screen at once; the rest is appended in slices from the
// event loop, so a text of many megabytes is readable at once and the
// window stays responsive while the remainder arrives. Text() and
// SelPrint() finish the load first, so they always see the whole text.

#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

class QPrinter;

class RichTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // The path of the file shown ("" before any).
    QString FileName() const { return fileName_; }
    // Loads the file at path and shows it, decoded from `encoding` (a WHATWG
    // name) when its maker recorded one (text_decoding.h). On failure the
    // box keeps its text and its file name, and false is returned with the
    // reason in errorString().
    bool setFileName(const QString &path, const QString &encoding = {});
    QString errorString() const { return error_; }

    // The font size of the whole text, in points.
    double Size() const { return size_; }
    // Refuses sizes that are not positive (returns false, nothing changes).
    bool setSize(double points);

    // Redraws the box now.
    void Refresh();

    // The whole text (lines separated by "\n").
    QString Text();
    // Replaces the text shown; the file name stays.
    void setText(const QString &text);

    // Size in twips. Negative values are refused: false, nothing changes.
    int Width() const { return widthTwips_; }
    int Height() const { return heightTwips_; }
    bool setWidth(int twips);
    bool setHeight(int twips);

    // Number of selected characters.
    int SelLength() const;
    // Prints the selected text to printer, or the whole text when nothing is
    // selected. A null printer prints nothing.
    void SelPrint(QPrinter *printer);

    // True while the end of a loaded file is still being appended.
    bool isLoading() const { return pendingPos_ < pending_.size(); }
    // Appends whatever is still pending at once.
    void finishLoading();

signals:
    // The whole file is in the box.
    void loadFinished();

private:
    void setupBox();
    void applyGeometry();
    void appendNextSlice();
    void appendUpTo(qsizetype end);
    qsizetype sliceEnd(qsizetype from, qsizetype maxChars) const;
    void dropPending();

    QString fileName_;
    QString error_;
    double size_ = 0.0;
    int widthTwips_ = 0;
    int heightTwips_ = 0;

    QString pending_;          // the decoded file while it is being appended
    qsizetype pendingPos_ = 0; // how much of pending_ is in the box
    QTimer sliceTimer_;
};
