#pragma once

#include "dispatch.h"
#include "guid.h"

#include <QString>

// The host side: create an object from its class ID and hold it.
namespace component {

// Holds one reference to a late-bound object.
class DispatchPtr final
{
public:
    DispatchPtr() = default;
    // Takes over a reference the caller already owns.
    static DispatchPtr Adopt(IDispatchLite *object);

    DispatchPtr(const DispatchPtr &other);
    DispatchPtr(DispatchPtr &&other) noexcept;
    DispatchPtr &operator=(DispatchPtr other) noexcept;
    ~DispatchPtr();

    IDispatchLite *get() const { return m_object; }
    IDispatchLite *operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    void reset();

private:
    IDispatchLite *m_object = nullptr;
};

struct CreateResult
{
    DispatchPtr object; // empty on failure
    QString error;      // why, on failure (carries the loader's own error text)
};

// Looks classId up in the per-user registry, loads its library at run time and has
// the library's class factory make the object. When the class is not registered, or
// its registered library cannot be loaded, the files matching fallbackLibraryFile (a
// name, wildcards allowed, e.g. "libfolderpick.so*") in probeFolder (by default the
// program's own folder) are asked to register themselves, and the lookup is repeated.
// The library stays loaded for the rest of the process.
CreateResult CreateObject(const Guid &classId, const QString &fallbackLibraryFile,
                          const QString &probeFolder = QString());

} // namespace component
