// The library's exported entry points. They only pass through to the component runtime.
#include "ctlfolderpick.h"
#include "entrypoints.h"
#include "folderpick_export.h"
#include "folderpickids.h"
#include "registration.h"
#include "server.h"

extern "C" {
FOLDERPICK_EXPORT std::int32_t DllRegisterServer();
FOLDERPICK_EXPORT std::int32_t DllUnregisterServer();
FOLDERPICK_EXPORT std::int32_t DllGetClassObject(const char *classId, void **factory);
FOLDERPICK_EXPORT std::int32_t DllCanUnloadNow();
}

// Checked here so the definitions cannot drift from what hosts resolve.
static_assert(std::is_same_v<decltype(&DllRegisterServer), DllRegisterServerFn>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), DllUnregisterServerFn>);
static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectFn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), DllCanUnloadNowFn>);

namespace {
component::ClassFactory<ctlFolderpick> factory;
}

std::int32_t DllRegisterServer()
{
    return component::server::RegisterServer(folderpick::TypeLibRegistration(),
                                             folderpick::ClassRegistration());
}

std::int32_t DllUnregisterServer()
{
    return component::server::UnregisterServer(Guid::FromText(folderpick::kTypeLibId),
                                               Guid::FromText(folderpick::kClassId));
}

std::int32_t DllGetClassObject(const char *classId, void **factoryOut)
{
    return component::server::GetClassObject(classId, Guid::FromText(folderpick::kClassId),
                                             &factory, factoryOut);
}

std::int32_t DllCanUnloadNow()
{
    return component::server::CanUnloadNow();
}
