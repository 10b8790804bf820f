/// The development host's side of field traces: recording a session through
/// the recording USB library (--record-trace), the host notes it writes into
/// the trace so a replay can act where the user acted, and reading those
/// notes back (replay).
///
/// Threads: everything here runs on the program's main thread.
#pragma once

#include "trace/format/TraceFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvahost {

/// What the user (or the host on the user's behalf) did during a recorded
/// session, as a note in the trace.
enum class HostEventKind
{
    Zero,
    Blink,  ///< detail: the plate's instance name
    Rescan, ///< also an unplug or plug on the bench (detail says which)
    Rearm,  ///< the host armed again, as the plugin asked
    End,    ///< the capture ended: the host disarms
    Bench   ///< a change of the simulated bench only (a fault); no call of the plugin
};

struct HostEvent
{
    double seconds = 0.0; ///< into the capture, when the user acted
    HostEventKind kind = HostEventKind::Zero;
    std::string detail;
    /// The note's record number, and that of the first call after it other
    /// than a transfer: the first call the action can have caused, where a
    /// replay waits for its turn.
    std::uint64_t noteRecord = 0;
    std::uint64_t trigger = 0;
};

/// A session as this program recorded it in a trace.
struct RecordedSession
{
    bool found = false; ///< the trace holds this program's notes
    /// The command and its settings (SessionArguments), to be parsed again.
    std::vector<std::string> arguments;
    std::vector<HostEvent> events; ///< in the order they happened
};

/// "zorva-devhost: ": what begins every note this program writes.
extern const char* const kHostNotePrefix;

/// The note of the session's command: "zorva-devhost: session capture --seconds 3".
std::string SessionNote(const std::vector<std::string>& arguments);
/// The note of an event: "zorva-devhost: event 1.25 zero", "... event 2 rescan unplug=1 (Walkway)".
std::string EventNote(const HostEvent& event);
/// "zero", "rescan", ...; the word of an event note.
const char* EventWord(HostEventKind kind);

/// Reads this program's notes in a trace, record by record as a reader hands
/// them out, with each event's trigger. Notes it cannot read are left out.
class RecordedSessionReader
{
public:
    void Add(const zorvatrace::Record& record);
    const RecordedSession& Session() const { return session_; }

private:
    RecordedSession session_;
    /// Events before this one have their trigger: the next call that is not a
    /// transfer (of a block or of nothing) comes after the others.
    std::size_t open_ = 0;
};

/// The same of records read whole.
RecordedSession ReadRecordedSession(const std::vector<zorvatrace::Record>& records);

/// The recording library in front of the USB library the plugin loads, for
/// one command; the trace ends when this goes (or at Finish), after the
/// plugin shut the library down.
class TraceRecorder
{
public:
    TraceRecorder() = default;
    /// Ends the trace if it is still open.
    ~TraceRecorder();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    /// Puts the recorder (trace/ beside this program) in front of the USB
    /// library the plugin at `pluginPath` would load (ZORVA_TRACE_LIBRARY
    /// names another), tracing into `tracePath`, and notes the session. Call
    /// before the plugin is loaded. False, with `error`, when it cannot.
    bool Start(const std::string& tracePath, const std::string& pluginPath, const std::vector<std::string>& session,
               std::string& error);
    bool Active() const { return active_; }
    /// The library recorded.
    const std::string& Library() const { return library_; }
    /// Notes an event; nothing when not recording.
    void Note(const HostEvent& event);
    /// Ends the trace (everything written, the end record last). False, with
    /// `error`, when writing failed; `summary` says what was written.
    bool Finish(std::string& summary, std::string& error);

private:
    bool active_ = false;
    std::string path_;
    std::string library_;
};

} // namespace zorvahost
