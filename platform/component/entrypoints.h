#pragma once

#include <cstdint>

// The four entry points every control library exports by name with C linkage. A
// library includes this so its definitions must match what hosts resolve.
// Results are the codes of dispatch.h: 0 for success, 1 for "no", negative for failure.
extern "C" {
using DllRegisterServerFn = std::int32_t (*)();
using DllUnregisterServerFn = std::int32_t (*)();
// classId: the registry text form; *factory receives an IClassFactoryLite* that lives
// as long as the library stays loaded.
using DllGetClassObjectFn = std::int32_t (*)(const char *classId, void **factory);
// 0 when no object of the library is alive any more, 1 otherwise.
using DllCanUnloadNowFn = std::int32_t (*)();
}
