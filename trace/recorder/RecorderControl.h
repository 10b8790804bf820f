/// The recording USB library's own controls, beside its 30 fm* functions.
/// A host finds them at run time (dlsym / GetProcAddress on the library it
/// loaded under the USB library's name, or through RecorderInFront.h): with
/// the conditioners' own library in place they are absent.
///
/// Without a call of ZorvaTrace_Begin the recorder starts by itself at the
/// first fm* call, from the environment: ZORVA_TRACE_LIBRARY names the
/// library to forward to, ZORVA_TRACE_FILE the trace to write.
///
/// Every function may be called from any thread; none throws. Texts are
/// written NUL-terminated and cut to `size` bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#    if defined(ZORVA_TRACE_BUILDING)
#        define ZORVA_TRACE_API extern "C" __declspec(dllexport)
#    else
#        define ZORVA_TRACE_API extern "C" __declspec(dllimport)
#    endif
#else
#    define ZORVA_TRACE_API extern "C" __attribute__((visibility("default")))
#endif

namespace zorvatrace {
/// Longest host note ZorvaTrace_Note writes, bytes.
constexpr std::size_t kMaxHostNote = 4096;
} // namespace zorvatrace

struct ZorvaTraceCounters
{
    std::uint64_t records;        ///< records numbered in the open or last trace
    std::uint64_t droppedRecords; ///< lost to a disk that was too slow (counted in the trace)
    std::uint64_t droppedBytes;
    std::uint64_t fileBytes; ///< bytes written to the file so far
    std::uint64_t messages;  ///< messages the relay passed on and recorded
    int recording;           ///< 1 while a trace is open
    int failed;              ///< 1 once writing the file failed
};

/// Ends any open trace and starts one at `tracePath`, forwarding from now on
/// to the library at `libraryPath` (null or empty: the one in use, or the
/// environment's). Switch libraries only while the caller does not use the
/// library (before fmDLLInit or after fmDLLShutDown); the previous one stays
/// loaded. 1 done; 0 with `error` (the library or the file).
ZORVA_TRACE_API int ZorvaTrace_Begin(const char* tracePath, const char* libraryPath, char* error, int size);
/// Writes what is left, the end record, and closes the trace; calls go on
/// being forwarded. 1 when a trace was ended and written whole; 0 when none
/// was open or writing failed (`error` says why).
ZORVA_TRACE_API int ZorvaTrace_End(char* error, int size);
/// An export of the library the recorder forwards to (its own controls, for
/// example), loading it from the environment if need be; null if none.
ZORVA_TRACE_API void* ZorvaTrace_LibrarySymbol(const char* name);
/// Counters of the open trace (or the last one); 1 done, 0 for a null `out`.
ZORVA_TRACE_API int ZorvaTrace_GetCounters(ZorvaTraceCounters* out);
/// A host's own line, written as a note record at this point of the trace
/// (what the host did, so a replay can do it at the same point); cut to
/// kMaxHostNote bytes. 1 written; 0 when no trace is open or `text` is null.
ZORVA_TRACE_API int ZorvaTrace_Note(const char* text);

typedef int (*ZorvaTraceBeginFn)(const char*, const char*, char*, int);
typedef int (*ZorvaTraceEndFn)(char*, int);
typedef void* (*ZorvaTraceLibrarySymbolFn)(const char*);
typedef int (*ZorvaTraceGetCountersFn)(ZorvaTraceCounters*);
typedef int (*ZorvaTraceNoteFn)(const char*);
