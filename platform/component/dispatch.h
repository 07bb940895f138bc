#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <atomic>
#include <cstdint>

namespace component {

// Result codes of the entry points, the class factory and Invoke.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFalse = 1; // "no" from a yes/no entry point
inline constexpr std::int32_t kFail = -1;
inline constexpr std::int32_t kClassNotAvailable = -2;
inline constexpr std::int32_t kInvalidArgument = -3;
inline constexpr std::int32_t kMemberNotFound = -4;
inline constexpr std::int32_t kBadParamCount = -5;
inline constexpr std::int32_t kTypeMismatch = -6;
inline constexpr std::int32_t kRegistryFailure = -7;

struct InvokeResult
{
    std::int32_t code = kOk;
    QVariant value;
    QString error; // why it failed, when it failed

    bool Ok() const { return code == kOk; }
    static InvokeResult Success(QVariant value) { return {kOk, std::move(value), {}}; }
    static InvokeResult Failure(std::int32_t code, QString error)
    {
        return {code, {}, std::move(error)};
    }
};

// A late-bound object: members are called by dispatch ID with a list of arguments.
// Host and library are built by the same compiler against the same shared Qt, so an
// abstract class passing Qt value types crosses the library boundary safely, and it
// spares a C function table its hand-written marshalling. Objects are only ever
// reached through the vtable: never dynamic_cast or typeid across the boundary, and
// no exception may leave Invoke.
class IDispatchLite
{
public:
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    virtual InvokeResult Invoke(std::int32_t dispId, const QVariantList &args) = 0;

protected:
    // Release is the only way to end an object, so the library that made it frees it.
    virtual ~IDispatchLite() = default;
};

class IClassFactoryLite
{
public:
    // On success *object holds a new object with one reference, owned by the caller.
    virtual std::int32_t CreateInstance(IDispatchLite **object) = 0;

protected:
    virtual ~IClassFactoryLite() = default;
};

// Base of the objects a library serves: reference counting, and a count of live
// objects per library (each library links its own copy of this runtime), which is
// what DllCanUnloadNow answers from.
class DispatchObject : public IDispatchLite
{
public:
    DispatchObject();
    DispatchObject(const DispatchObject &) = delete;
    DispatchObject &operator=(const DispatchObject &) = delete;

    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    static int LiveObjects();

protected:
    ~DispatchObject() override;

private:
    std::atomic<std::uint32_t> m_refs{1};
};

template<typename T>
class ClassFactory final : public IClassFactoryLite
{
public:
    std::int32_t CreateInstance(IDispatchLite **object) override
    {
        if (!object)
            return kInvalidArgument;
        *object = new T;
        return kOk;
    }
};

} // namespace component
