#include "gui/window/MsgBox.h"

#include "gui/window/App.h"

#include <QMessageBox>

namespace Globals {

void MsgBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(App::Title), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString withReason(const QString &text, const QString &reason)
{
    return reason.isEmpty() ? text : text + QLatin1Char('\n') + reason;
}

} // namespace Globals
