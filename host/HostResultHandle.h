/// Owning handle of a HostResult*: releases a non-null result exactly once.
#pragma once

#include "HostResult.h"

#include <utility>

namespace MoldraDigitalDevice {

class HostResultHandle
{
public:
    HostResultHandle() = default;
    /// Takes over the reference the host returned.
    explicit HostResultHandle(HostResult* result) : heldResult(result) {}
    HostResultHandle(const HostResultHandle& other) : heldResult(other.heldResult)
    {
        if (heldResult)
            heldResult->AddRef();
    }
    HostResultHandle(HostResultHandle&& other) noexcept : heldResult(std::exchange(other.heldResult, nullptr)) {}
    HostResultHandle& operator=(HostResultHandle other) noexcept
    {
        std::swap(heldResult, other.heldResult);
        return *this;
    }
    ~HostResultHandle()
    {
        if (heldResult)
            heldResult->Release();
    }

    bool Failed() const { return heldResult != nullptr; }
    explicit operator bool() const { return Failed(); }
    /// The failure text, or null on success.
    const char* Message() const { return heldResult ? heldResult->GetMessage() : nullptr; }

private:
    HostResult* heldResult = nullptr;
};

} // namespace MoldraDigitalDevice
