#pragma once
// The viewer's find dialog: a box for the text to find, "Find Next" (also
// Enter) and a line that says when the text is not there. Modeless, owned
// by the viewer; it searches the viewer's text box, from the caret on, and
// wraps past the end to the top. Letter case is ignored.

#include <QDialog>
#include <QString>
#include <QTextCursor>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextDocument;

namespace viewerfind {

// The next place of `text` in `document` after `from` (its selection end),
// wrapping to the document's start; a null cursor when the text is not in
// the document at all or is empty.
QTextCursor findWrapping(const QTextDocument &document, const QString &text, const QTextCursor &from);

} // namespace viewerfind

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QPlainTextEdit *textBox, QWidget *parent = nullptr);

    // Controls.
    QLineEdit *txtFind = nullptr;
    QPushButton *btnFindNext = nullptr;
    QLabel *lblResult = nullptr;

    // Finds the next place of the text in the box and selects it there;
    // false, saying so on the result line, when the text is not there. A
    // text box still loading is finished first, so all of it is searched.
    bool findNext();

    // The dialog shown, raised and ready for typing, its text selected.
    void present();

private:
    QPlainTextEdit *textBox_;
};
