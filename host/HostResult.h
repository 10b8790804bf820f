/// Outcome of a host operation. Host operations return a plain HostResult*:
/// null on success, otherwise a reference-counted object the caller releases
/// once. The slot order below is part of the binary contract with the host.
#pragma once

// <windows.h> maps GetMessage to GetMessageW; the host's operation keeps its name.
#ifdef GetMessage
#    undef GetMessage
#endif

namespace MoldraDigitalDevice {

class HostResult
{
public:
    virtual const char* GetMessage() = 0;
    virtual void AddRef() = 0;
    virtual void Release() = 0;

protected:
    ~HostResult() = default; // released through Release(), never deleted by the plugin
};

} // namespace MoldraDigitalDevice
