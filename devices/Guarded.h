/// Runs code the host called so that no exception reaches the host's process:
/// a failure ends the call with a safe result and one level-2 log line.
#pragma once

#include "contract/Log.h"

#include "host/HostInterfaces.h"

#include <exception>
#include <string>

namespace ZORVA {

/// Logs "Unexpected failure in <operation>: <what>" at level 2 through `host`
/// (if any); never throws.
inline void ReportUnexpectedFailure(MoldraDigitalDevice::IPluginHost* host, const char* operation,
                                    const char* what) noexcept
{
    if (!host)
        return;
    try {
        Log(host, LogLevel::Warning, std::string("Unexpected failure in ") + operation + ": " + what);
    } catch (...) {
    }
}

/// `call()`, or `safeValue` if it throws. `host` is read only on failure, so a
/// call may set it (Initialise sets the plugin's host).
template <typename Result, typename Call>
Result Guarded(MoldraDigitalDevice::IPluginHost* const& host, const char* operation, Result safeValue,
               Call&& call) noexcept
{
    try {
        return call();
    } catch (const std::exception& e) {
        ReportUnexpectedFailure(host, operation, e.what());
    } catch (...) {
        ReportUnexpectedFailure(host, operation, "unknown exception");
    }
    return safeValue;
}

/// The same for an operation without a result.
template <typename Call>
void Guarded(MoldraDigitalDevice::IPluginHost* const& host, const char* operation, Call&& call) noexcept
{
    Guarded(host, operation, 0, [&call] {
        call();
        return 0;
    });
}

} // namespace ZORVA
