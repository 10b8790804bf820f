// The replay controls: thin, exception-free wrappers over the replay hub.
#include "simusb/ReplayControl.h"

#include "simusb/replay/ReplayHub.h"
#include "simusb/exports/TextOut.h"

#include <algorithm>
#include <cstring>

namespace zorvasim {

using detail::ReplayHub;

bool IsTraceFile(const std::string& path)
{
    try {
        return zorvatrace::LooksLikeTrace(path);
    } catch (...) {
        return false;
    }
}

bool LoadTraceFile(const std::string& path, std::string* error, ReplayPace pace)
{
    try {
        std::string why;
        if (ReplayHub::Instance().Load(path, pace, why)) {
            if (error)
                error->clear();
            return true;
        }
        if (error)
            *error = why;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
    }
    return false;
}

void EndReplay()
{
    try {
        ReplayHub::Instance().End();
    } catch (...) {
    }
}

ReplayStatus GetReplayStatus()
{
    try {
        return ReplayHub::Instance().Status();
    } catch (...) {
        return ReplayStatus();
    }
}

std::vector<ReplayMismatch> ReplayMismatches()
{
    try {
        return ReplayHub::Instance().Mismatches();
    } catch (...) {
        return {};
    }
}

} // namespace zorvasim

extern "C" {

ZORVA_SIM_API int ZorvaSim_LoadTrace(const char* path, int pace, char* error, int size)
{
    std::string why = "no trace named";
    const zorvasim::ReplayPace paces[] = {zorvasim::ReplayPace::Auto, zorvasim::ReplayPace::Immediate,
                                          zorvasim::ReplayPace::Recorded};
    if (pace < 0 || pace > 2)
        why = "pace must be 0, 1 or 2";
    else if (path && zorvasim::LoadTraceFile(path, &why, paces[pace]))
        return 1;
    zorvasim::CopyTextOut(why, error, size);
    return 0;
}

ZORVA_SIM_API void ZorvaSim_EndReplay() { zorvasim::EndReplay(); }

ZORVA_SIM_API int ZorvaSim_ReplayMismatchCount()
{
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    if (!status.active)
        return -1;
    return static_cast<int>(std::min<std::uint64_t>(status.mismatches, 0x7fffffff));
}

ZORVA_SIM_API int ZorvaSim_ReplayMismatch(int index, char* buffer, int size)
{
    try {
        const std::vector<zorvasim::ReplayMismatch> mismatches = zorvasim::ReplayMismatches();
        if (index < 0 || static_cast<std::size_t>(index) >= mismatches.size())
            return -1;
        return zorvasim::CopyTextOut(mismatches[static_cast<std::size_t>(index)].text, buffer, size);
    } catch (...) {
        return -1;
    }
}

ZORVA_SIM_API int ZorvaSim_ReplayFinished()
{
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    return status.active ? (status.finished ? 1 : 0) : -1;
}

ZORVA_SIM_API int ZorvaSim_ReplayProgress(ZorvaSimReplayProgress* out)
{
    if (!out)
        return 0;
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    *out = ZorvaSimReplayProgress{};
    if (!status.active)
        return 0;
    out->calls = status.calls;
    out->recordedCalls = status.recordedCalls;
    out->blocks = status.blocks;
    out->messages = status.messages;
    out->timingDifferences = status.timingDifferences;
    out->mismatches = status.mismatches;
    out->nextCall = status.nextCall;
    out->finished = status.finished ? 1 : 0;
    return 1;
}

} // extern "C"
