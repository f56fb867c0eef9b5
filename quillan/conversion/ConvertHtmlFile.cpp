#include "conversion/ConvertHtmlFile.h"

#include "shell/FormInstance.h"
#include "viewer/RichTextBox.h"
#include "viewer/frmView.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

namespace {

// The application-wide busy pointer for the life of the object.
class BusyPointer {
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};

std::filesystem::path toPath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const std::filesystem::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace

namespace Globals {

QString ConvertHtmlFile(const QString &htmlPath)
{
    BusyPointer busy;
    const QString textPath = fromPath(quillan::convertHtmlFile(toPath(htmlPath)));

    RichTextBox &box = *FormInstance<frmView>::get().txtHTML;
    if (!box.setFileName(textPath))
        throw quillan::ConversionError(textPath.toStdString(), box.errorString().toStdString());
    box.Refresh();

    QCoreApplication::processEvents();
    return textPath;
}

} // namespace Globals
