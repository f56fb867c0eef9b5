#include "gui/shell/ComControl.h"

#include "platform/com/activation.h"
#include "platform/com/com.h"

using namespace platform;

namespace {

QString describe(HRESULT hr)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(HResultMessage(hr)),
                                         QString::fromStdString(HResultHex(hr)));
}

} // namespace

ComControl::ComControl(const QString &progId) : progId_(progId)
{
    void *object = nullptr;
    const HRESULT hr = CreateObjectByName(progId.toStdString(), IID_IDispatch, &object);
    if (SUCCEEDED(hr) && object) {
        object_ = static_cast<IDispatch *>(object);
        return;
    }
    creationFailure_ = QStringLiteral("The component \"%1\" could not be created: %2").arg(progId, describe(hr));
}

ComControl::~ComControl()
{
    if (object_)
        object_->Release();
}

std::optional<bool> ComControl::readBoolean(qint32 dispid, QString *cause) const
{
    auto fail = [cause](const QString &why) -> std::optional<bool> {
        if (cause)
            *cause = why;
        return std::nullopt;
    };
    if (!object_)
        return fail(creationFailure_);

    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = object_->Invoke(static_cast<DISPID>(dispid), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                 &noArgs, &result, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        hr = excep.scode != 0 ? excep.scode : hr;
        ClearExcepInfo(&excep);
    }
    if (FAILED(hr))
        return fail(QStringLiteral("Reading the component \"%1\" failed: %2").arg(progId_, describe(hr)));

    std::optional<bool> value;
    switch (result.vt) {
    case VT_BOOL: value = result.boolVal != 0; break;
    case VT_I2: value = result.iVal != 0; break;
    case VT_I4: value = result.lVal != 0; break;
    default: break;
    }
    VariantClear(&result);
    if (!value)
        return fail(QStringLiteral("The component \"%1\" answered a value that is not a Boolean").arg(progId_));
    return value;
}
