// trace-info: what a field trace holds, for whoever received one.
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "devhost/engine/fieldtrace/TraceInfo.h"

#include <cstdio>

namespace zorvahost {

int RunTraceInfo(const Options& options)
{
    const TraceSummary trace = SummarizeTraceFile(options.traceFile);
    if (TraceRefused(trace)) {
        PrintError(options.traceFile + " is refused: " + trace.error);
        return ExitFailure;
    }
    std::printf("Field trace %s\n%s", options.traceFile.c_str(), Render(trace).c_str());
    return ExitSuccess;
}

} // namespace zorvahost
