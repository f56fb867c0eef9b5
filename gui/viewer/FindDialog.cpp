#include "gui/viewer/FindDialog.h"

#include "gui/viewer/RichTextBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace viewerfind {

QTextCursor findWrapping(const QTextDocument &document, const QString &text, const QTextCursor &from)
{
    if (text.isEmpty())
        return QTextCursor();
    QTextCursor after(const_cast<QTextDocument *>(&document));
    after.setPosition(from.isNull() ? 0 : from.selectionEnd());
    QTextCursor found = document.find(text, after);
    if (found.isNull())
        found = document.find(text, 0);
    return found;
}

} // namespace viewerfind

FindDialog::FindDialog(QPlainTextEdit *textBox, QWidget *parent) : QDialog(parent), textBox_(textBox)
{
    setObjectName(QStringLiteral("dlgFind"));
    setWindowTitle(tr("Find"));
    setModal(false);

    auto *label = new QLabel(tr("Fi&nd what:"), this);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setAccessibleName(tr("Find what"));
    label->setBuddy(txtFind);
    btnFindNext = new QPushButton(tr("&Find Next"), this);
    btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
    btnFindNext->setDefault(true);
    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));

    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(txtFind, 1);
    row->addWidget(btnFindNext);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(lblResult);

    connect(btnFindNext, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(txtFind, &QLineEdit::textEdited, lblResult, &QLabel::clear);
}

bool FindDialog::findNext()
{
    if (auto *box = qobject_cast<RichTextBox *>(textBox_))
        box->finishLoading();
    const QString text = txtFind->text();
    const QTextCursor found = viewerfind::findWrapping(*textBox_->document(), text, textBox_->textCursor());
    if (found.isNull()) {
        lblResult->setText(text.isEmpty() ? QString() : tr("\"%1\" was not found.").arg(text));
        return false;
    }
    lblResult->clear();
    textBox_->setTextCursor(found);
    textBox_->ensureCursorVisible();
    return true;
}

void FindDialog::present()
{
    show();
    raise();
    activateWindow();
    txtFind->setFocus();
    txtFind->selectAll();
}
