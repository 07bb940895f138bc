#include "server.h"

#include <dlfcn.h>

#include <QFileInfo>

namespace component::server {

namespace {
// Its address lies inside whichever module holds this copy of the runtime.
const char moduleAnchor = 0;
} // namespace

QString ModulePath()
{
    Dl_info info{};
    if (dladdr(&moduleAnchor, &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
}

std::int32_t RegisterServer(TypeLibRecord typeLib, ClassRecord klass)
{
    const QString path = ModulePath();
    if (path.isEmpty())
        return kFail;
    typeLib.libraryPath = path;
    klass.libraryPath = path;
    klass.typeLibId = typeLib.id;
    ComponentRegistry registry;
    if (!registry.RegisterTypeLib(typeLib) || !registry.RegisterClass(klass))
        return kRegistryFailure;
    return kOk;
}

std::int32_t UnregisterServer(const Guid &typeLibId, const Guid &classId)
{
    ComponentRegistry registry;
    // Removing what is already gone is no failure.
    registry.RemoveClass(classId);
    registry.RemoveTypeLib(typeLibId);
    if (registry.FindClass(classId) || registry.FindTypeLib(typeLibId))
        return kRegistryFailure;
    return kOk;
}

std::int32_t GetClassObject(const char *classIdText, const Guid &servedClass,
                            IClassFactoryLite *factory, void **out)
{
    if (!classIdText || !out)
        return kInvalidArgument;
    *out = nullptr;
    const auto requested = Guid::Parse(QString::fromLatin1(classIdText));
    if (!requested || !(*requested == servedClass))
        return kClassNotAvailable;
    *out = factory;
    return kOk;
}

std::int32_t CanUnloadNow()
{
    return DispatchObject::LiveObjects() == 0 ? kOk : kFalse;
}

} // namespace component::server
