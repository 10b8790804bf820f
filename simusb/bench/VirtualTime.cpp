#include "simusb/bench/VirtualTime.h"

#include "win32/posix/win32_control.h"

#include <cstdio>

namespace zorvasim {
namespace detail {

void VirtualTime::SleepHandler(DWORD milliseconds, void* context)
{
    auto* time = static_cast<VirtualTime*>(context);
    const std::uint64_t before = time->ms_.fetch_add(milliseconds);
    time->trace_.Add(CallEntry("Sleep", milliseconds));
    if (time->listener_)
        time->listener_(before, before + milliseconds, time->listenerContext_);
}

bool VirtualTime::Set(bool on)
{
    SimLock lock(mutex_);
    if (on == on_)
        return true;
    if (on) {
        if (ZorvaWin32_SetSleepHandler(&VirtualTime::SleepHandler, this) != nullptr) {
            std::fprintf(stderr, "zorvasim: virtual time replaced another Sleep handler; "
                                 "real sleeping returns when it ends\n");
        }
    } else {
        ZorvaWin32_SetSleepHandler(nullptr, nullptr);
    }
    on_ = on;
    return true;
}

bool VirtualTime::On() const
{
    SimLock lock(mutex_);
    return on_;
}

} // namespace detail
} // namespace zorvasim
