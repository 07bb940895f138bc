#include "host.h"

#include "entrypoints.h"
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <utility>

using namespace Qt::StringLiterals;

namespace component {

DispatchPtr DispatchPtr::Adopt(IDispatchLite *object)
{
    DispatchPtr ptr;
    ptr.m_object = object;
    return ptr;
}

DispatchPtr::DispatchPtr(const DispatchPtr &other) : m_object(other.m_object)
{
    if (m_object)
        m_object->AddRef();
}

DispatchPtr::DispatchPtr(DispatchPtr &&other) noexcept
    : m_object(std::exchange(other.m_object, nullptr))
{
}

DispatchPtr &DispatchPtr::operator=(DispatchPtr other) noexcept
{
    std::swap(m_object, other.m_object);
    return *this;
}

DispatchPtr::~DispatchPtr()
{
    reset();
}

void DispatchPtr::reset()
{
    if (auto *object = std::exchange(m_object, nullptr))
        object->Release();
}

namespace {

CreateResult CreateFromLibrary(const QString &path, const Guid &classId)
{
    QLibrary library(path);
    if (!library.load())
        return {{}, u"Cannot load %1: %2"_s.arg(path, library.errorString())};
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(
        library.resolve("DllGetClassObject"));
    if (!getClassObject)
        return {{}, u"%1 is no component server: %2"_s.arg(path, library.errorString())};
    void *factoryPointer = nullptr;
    const QByteArray classText = classId.ToString().toLatin1();
    const std::int32_t got = getClassObject(classText.constData(), &factoryPointer);
    if (got != kOk || !factoryPointer)
        return {{},
                u"%1 does not serve class %2 (code %3)"_s.arg(path, classId.ToString()).arg(got)};
    auto *factory = static_cast<IClassFactoryLite *>(factoryPointer);
    IDispatchLite *object = nullptr;
    const std::int32_t made = factory->CreateInstance(&object);
    if (made != kOk || !object)
        return {
            {},
            u"%1 could not create class %2 (code %3)"_s.arg(path, classId.ToString()).arg(made)};
    return {DispatchPtr::Adopt(object), {}};
}

// Asks each candidate library in folder to register itself; true once one did.
bool RegisterFallback(const QString &folder, const QString &pattern, QStringList &errors)
{
    const QDir dir(folder);
    const QStringList candidates = dir.entryList({pattern}, QDir::Files, QDir::Name);
    if (candidates.isEmpty()) {
        errors << u"No library %1 in %2"_s.arg(pattern, QDir::toNativeSeparators(folder));
        return false;
    }
    for (const QString &name : candidates) {
        const QString path = dir.filePath(name);
        QLibrary library(path);
        if (!library.load()) {
            errors << u"Cannot load %1: %2"_s.arg(path, library.errorString());
            continue;
        }
        auto registerServer = reinterpret_cast<DllRegisterServerFn>(
            library.resolve("DllRegisterServer"));
        if (!registerServer) {
            errors << u"%1 is no component server: %2"_s.arg(path, library.errorString());
            continue;
        }
        const std::int32_t registered = registerServer();
        if (registered == kOk)
            return true;
        errors << u"%1 could not register itself (code %2)"_s.arg(path).arg(registered);
    }
    return false;
}

} // namespace

CreateResult CreateObject(const Guid &classId, const QString &fallbackLibraryFile,
                          const QString &probeFolder)
{
    QStringList errors;
    {
        const auto record = ComponentRegistry().FindClass(classId);
        if (record) {
            CreateResult result = CreateFromLibrary(record->libraryPath, classId);
            if (result.object)
                return result;
            errors << result.error;
        } else {
            errors << u"Class %1 is not registered"_s.arg(classId.ToString());
        }
    }
    if (fallbackLibraryFile.isEmpty())
        return {{}, errors.join(u"; "_s)};

    const QString folder = probeFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                 : probeFolder;
    if (!RegisterFallback(folder, fallbackLibraryFile, errors))
        return {{}, errors.join(u"; "_s)};
    const auto record = ComponentRegistry().FindClass(classId);
    if (!record) {
        errors << u"Class %1 is still not registered"_s.arg(classId.ToString());
        return {{}, errors.join(u"; "_s)};
    }
    CreateResult result = CreateFromLibrary(record->libraryPath, classId);
    if (!result.object) {
        errors << result.error;
        result.error = errors.join(u"; "_s);
    }
    return result;
}

} // namespace component
