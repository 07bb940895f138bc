#pragma once

#include <QByteArray>
#include <QString>

// The internet transfer component: fetch the whole content of an address as bytes.
// OpenURL blocks its caller but keeps the caller's event loop running, so windows
// repaint and a Cancel from a handler ends the transfer at once.
class Transfer
{
public:
    struct Result
    {
        bool ok = false;
        QByteArray content;  // the bytes received, when ok
        int code = 0;        // when not ok: a numeric failure code
        QString description; // when not ok: what went wrong, for the user
    };

    virtual ~Transfer() = default;

    virtual Result OpenURL(const QString &address) = 0;

    // Connect and stall time-out in whole seconds.
    virtual int RequestTimeout() const = 0;
    virtual void SetRequestTimeout(int seconds) = 0;

    virtual bool StillExecuting() const = 0;
    virtual void Cancel() = 0;
};
