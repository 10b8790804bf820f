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
    explicit HostResultHandle(HostResult* result) : result_(result) {}
    HostResultHandle(const HostResultHandle& other) : result_(other.result_)
    {
        if (result_)
            result_->AddRef();
    }
    HostResultHandle(HostResultHandle&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
    HostResultHandle& operator=(HostResultHandle other) noexcept
    {
        std::swap(result_, other.result_);
        return *this;
    }
    ~HostResultHandle()
    {
        if (result_)
            result_->Release();
    }

    bool Failed() const { return result_ != nullptr; }
    explicit operator bool() const { return Failed(); }
    /// The failure text, or null on success.
    const char* Message() const { return result_ ? result_->GetMessage() : nullptr; }

private:
    HostResult* result_ = nullptr;
};

} // namespace MoldraDigitalDevice
