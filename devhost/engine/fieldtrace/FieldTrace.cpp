#include "devhost/engine/fieldtrace/FieldTrace.h"

#include "platform/Program.h"
#include "platform/Library.h"
#include "devhost/engine/Text.h"
#include "trace/recorder/RecorderControl.h"
#include "trace/recorder/RecorderInFront.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace zorvahost {

using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::RecordType;

const char* const kHostNotePrefix = "zorva-devhost: ";

namespace {

const struct
{
    HostEventKind kind;
    const char* word;
} kEventWords[] = {
    {HostEventKind::Zero, "zero"},   {HostEventKind::Blink, "blink"}, {HostEventKind::Rescan, "rescan"},
    {HostEventKind::Rearm, "rearm"}, {HostEventKind::End, "end"},     {HostEventKind::Bench, "bench"},
};

bool EventKindOf(const std::string& word, HostEventKind& kind)
{
    for (const auto& entry : kEventWords) {
        if (word == entry.word) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

/// Parses "event SECONDS WORD[ DETAIL]"; false for anything else.
bool ParseEvent(const std::string& text, HostEvent& event)
{
    std::istringstream in(text);
    std::string head, seconds, word;
    if (!(in >> head >> seconds >> word) || head != "event" || !ParseSeconds(seconds, event.seconds) ||
        !EventKindOf(word, event.kind))
        return false;
    std::string detail;
    std::getline(in, detail);
    event.detail = detail.empty() ? detail : detail.substr(1);
    return true;
}

} // namespace

const char* EventWord(HostEventKind kind)
{
    for (const auto& entry : kEventWords) {
        if (entry.kind == kind)
            return entry.word;
    }
    return "?";
}

std::string SessionNote(const std::vector<std::string>& arguments)
{
    std::string text = std::string(kHostNotePrefix) + "session";
    for (const std::string& argument : arguments)
        text += " " + argument;
    return text;
}

std::string EventNote(const HostEvent& event)
{
    return std::string(kHostNotePrefix) + "event " + Short(event.seconds, 3) + " " + EventWord(event.kind) +
           (event.detail.empty() ? "" : " " + event.detail);
}

void RecordedSessionReader::Add(const Record& record)
{
    const std::string prefix = kHostNotePrefix;
    if (record.type == RecordType::Call && record.function != Function::DLLTransferFloatData) {
        for (; open_ < session_.events.size(); ++open_)
            session_.events[open_].trigger = record.number;
    }
    if (record.type != RecordType::Note || record.text.compare(0, prefix.size(), prefix) != 0)
        return;
    const std::string text = record.text.substr(prefix.size());
    if (text.compare(0, 8, "session ") == 0 && !session_.found) {
        std::istringstream in(text.substr(8));
        std::string argument;
        while (in >> argument)
            session_.arguments.push_back(argument);
        session_.found = !session_.arguments.empty();
        return;
    }
    HostEvent event;
    if (!ParseEvent(text, event))
        return;
    event.noteRecord = record.number;
    // Until a call follows: the end of the trace.
    event.trigger = UINT64_MAX;
    session_.events.push_back(event);
}

RecordedSession ReadRecordedSession(const std::vector<Record>& records)
{
    RecordedSessionReader reader;
    for (const Record& record : records)
        reader.Add(record);
    return reader.Session();
}

TraceRecorder::~TraceRecorder()
{
    std::string summary, error;
    if (active_)
        Finish(summary, error);
}

bool TraceRecorder::Start(const std::string& tracePath, const std::string& pluginPath,
                          const std::vector<std::string>& session, std::string& error)
{
    const char* named = std::getenv("ZORVA_TRACE_LIBRARY");
    library_ = named && *named ? std::string(named) : zorvaplatform::UsbLibraryForPlugin(pluginPath, error);
    if (library_.empty())
        return false;
    // Full paths in the system's form: Windows loads a library by its full
    // path only when it is one.
    const std::string recorder = std::filesystem::path(zorvatrace::RecorderBeside(zorvaplatform::ProgramDirectory()))
                                     .lexically_normal()
                                     .make_preferred()
                                     .string();
    const std::string library =
        std::filesystem::absolute(std::filesystem::path(library_)).lexically_normal().make_preferred().string();
    const std::string trace =
        std::filesystem::absolute(std::filesystem::path(tracePath)).lexically_normal().make_preferred().string();
    if (!zorvatrace::PutRecorderInFront(recorder, library, trace, error))
        return false;
    library_ = library;
    path_ = tracePath;
    active_ = true;
    if (auto note = reinterpret_cast<ZorvaTraceNoteFn>(zorvatrace::RecorderSymbol("ZorvaTrace_Note")))
        note(SessionNote(session).c_str());
    return true;
}

void TraceRecorder::Note(const HostEvent& event)
{
    if (!active_)
        return;
    if (auto note = reinterpret_cast<ZorvaTraceNoteFn>(zorvatrace::RecorderSymbol("ZorvaTrace_Note")))
        note(EventNote(event).c_str());
}

bool TraceRecorder::Finish(std::string& summary, std::string& error)
{
    if (!active_) {
        error = "no trace is being recorded";
        return false;
    }
    active_ = false;
    const bool ended = zorvatrace::EndRecording(error);
    ZorvaTraceCounters counters{};
    if (auto get = reinterpret_cast<ZorvaTraceGetCountersFn>(zorvatrace::RecorderSymbol("ZorvaTrace_GetCounters")))
        get(&counters);
    summary =
        path_ + ": " + std::to_string(counters.records) + " records, " + std::to_string(counters.fileBytes) + " bytes";
    if (counters.droppedRecords > 0)
        summary += "; " + std::to_string(counters.droppedRecords) +
                   " records dropped (the disk was too slow for them; the trace says where)";
    return ended;
}

} // namespace zorvahost
