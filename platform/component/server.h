#pragma once

#include "dispatch.h"
#include "registry.h"

#include <QString>

#include <cstdint>

// What a control library's entry points pass through to.
namespace component::server {

// The file of the library (or program) this copy of the runtime is linked into.
QString ModulePath();

// Records the type library and the class, both pointing at ModulePath().
std::int32_t RegisterServer(TypeLibRecord typeLib, ClassRecord klass);
std::int32_t UnregisterServer(const Guid &typeLibId, const Guid &classId);
// Hands out factory when classIdText names servedClass.
std::int32_t GetClassObject(const char *classIdText, const Guid &servedClass,
                            IClassFactoryLite *factory, void **out);
std::int32_t CanUnloadNow();

} // namespace component::server
