// Replay's controls: thin, exception-free wrappers over the replay hub.
#include "simusb/ReplayControl.h"

#include "simusb/replay/ReplayHub.h"

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
