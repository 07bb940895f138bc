#include "dispatch.h"

namespace component {

namespace {
std::atomic<int> liveObjects{0};
}

DispatchObject::DispatchObject()
{
    ++liveObjects;
}

DispatchObject::~DispatchObject()
{
    --liveObjects;
}

std::uint32_t DispatchObject::AddRef()
{
    return ++m_refs;
}

std::uint32_t DispatchObject::Release()
{
    const std::uint32_t left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

int DispatchObject::LiveObjects()
{
    return liveObjects.load();
}

} // namespace component
