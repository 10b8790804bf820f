// trace-info: what a field trace holds, for whoever received one.
#include "devhost/Commands.h"
#include "devhost/TraceInfo.h"

#include <cstdio>

namespace zorvahost {

int RunTraceInfo(const Options& options)
{
    zorvatrace::TraceContents trace;
    zorvatrace::ReadTraceFile(options.traceFile, trace);
    // Cut short inside its file header, it says nothing at all.
    const bool headerRead = !trace.header.recorder.empty() || !trace.records.empty();
    if ((trace.errorKind != zorvatrace::ReadError::None && trace.errorKind != zorvatrace::ReadError::Truncated) ||
        !headerRead) {
        std::fprintf(stderr, "error: %s is refused: %s\n", options.traceFile.c_str(), trace.error.c_str());
        return ExitFailure;
    }
    std::printf("Field trace %s\n%s", options.traceFile.c_str(), Render(Summarize(trace)).c_str());
    return ExitSuccess;
}

} // namespace zorvahost
