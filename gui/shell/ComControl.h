#pragma once
// A control that a window holds through the component runtime: created by
// its programmatic identifier when the window loads, read late-bound by
// dispatch identifier, released with the window.
//
// Creation may fail (the class is not registered, its library is missing);
// the window still opens, and every later read reports why the control is
// not there.

#include <QString>

#include <optional>

namespace platform {
struct IDispatch;
}

class ComControl {
public:
    // Creates an instance of `progId` on the calling (user-interface) thread.
    explicit ComControl(const QString &progId);
    ~ComControl();

    ComControl(const ComControl &) = delete;
    ComControl &operator=(const ComControl &) = delete;

    bool created() const { return object_ != nullptr; }
    QString progId() const { return progId_; }

    // Reads a Boolean property by its dispatch identifier. On success the
    // value (an automation Boolean: true for any non-zero value); on failure
    // nothing, and `cause` says what went wrong, with the runtime's status.
    std::optional<bool> readBoolean(qint32 dispid, QString *cause) const;

private:
    QString progId_;
    platform::IDispatch *object_ = nullptr;
    QString creationFailure_;
};
