#include "trace/recorder/Recorder.h"

#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/Program.h"

#include <cstdio>
#include <cstdlib>

using namespace zorvaplatform;

namespace zorvatrace {

namespace {

std::atomic<Recorder*> g_instance{nullptr};

// Ends the trace and the relay before the process tears the runtime down.
struct ExitGuard
{
    ~ExitGuard()
    {
        if (Recorder* recorder = g_instance.load())
            recorder->Exit();
    }
} g_exitGuard;

void ToStderr(const std::string& text)
{
    std::fprintf(stderr, "zorvatrace: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace

Recorder& Recorder::Instance()
{
    // Never destroyed: calls from other libraries' exit code still find it.
    static Recorder* instance = [] {
        auto* recorder = new Recorder();
        g_instance.store(recorder);
        return recorder;
    }();
    return *instance;
}

Recorder::Recorder()
    : relay_([this](const MSG& message, DWORD target) { OnMessage(message, target); },
             [this](const MSG& message, DWORD target) { OnRefused(message, target); })
{}

const ForwardLibrary* Recorder::Library()
{
    if (const ForwardLibrary* library = library_.load(std::memory_order_acquire))
        return library;
    ControlLock lock(controlMutex_);
    if (!started_)
        StartFromEnvironmentLocked();
    return library_.load(std::memory_order_acquire);
}

void Recorder::StartFromEnvironmentLocked()
{
    started_ = true;
    const char* library = std::getenv("ZORVA_TRACE_LIBRARY");
    if (!library || !*library) {
        ToStderr("ZORVA_TRACE_LIBRARY is not set: there is no USB library to forward to, every call returns 0");
        return;
    }
    std::string error;
    if (!LoadLocked(library, error)) {
        ToStderr(error + "; every call returns 0");
        return;
    }
    const char* file = std::getenv("ZORVA_TRACE_FILE");
    if (!file || !*file) {
        ToStderr("ZORVA_TRACE_FILE is not set: calls are forwarded to \"" + std::string(library) +
                 "\" but not recorded");
        return;
    }
    if (!OpenLocked(file, error))
        ToStderr(error + "; calls are forwarded but not recorded");
}

const ForwardLibrary* Recorder::LoadLocked(const std::string& path, std::string& error)
{
    void* handle = LoadLibraryFile(path, error);
    if (!handle)
        return nullptr;
    libraries_.push_back(std::make_unique<ForwardLibrary>());
    ForwardLibrary* library = libraries_.back().get();
    library->handle = handle;
    library->path = path;
    for (std::size_t i = 0; i < kFunctionCount; ++i)
        library->functions[i] = LibrarySymbol(handle, Info(static_cast<Function>(i)).name);
    library_.store(library, std::memory_order_release);
    return library;
}

bool Recorder::OpenLocked(const std::string& tracePath, std::string& error)
{
    const ForwardLibrary* library = library_.load();
    if (!library) {
        error = "no USB library to forward to";
        return false;
    }
    std::unique_ptr<Sink> sink = OpenFileSink(tracePath, error);
    if (!sink)
        return false;
    Header header;
    header.createdUs = WallClockUs();
    header.system = SystemDescription();
    header.libraryName = FileName(library->path);
    header.librarySize = FileSize(library->path);
    header.libraryPath = library->path;
    header.recorder = "ZORVA trace recorder, format " + std::to_string(kFormatVersion);
    header.program = ProgramPath();
    if (!writer_.Open(std::move(sink), header, WriterOptions(), error))
        return false;
    recording_.store(true, std::memory_order_release);
    unknownSizeNoted_.store(false);
    Note("forwarding to \"" + library->path + "\"", false);
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        if (!library->functions[i])
            Note(std::string("the library lacks ") + Info(static_cast<Function>(i)).name + ": calls of it return 0",
                 true);
    }
    return true;
}

bool Recorder::EndLocked(std::string& error)
{
    if (!writer_.IsOpen()) {
        error = "no trace is being written";
        return false;
    }
    recording_.store(false, std::memory_order_release);
    const WriterCounters counters = writer_.Close();
    if (counters.failed) {
        error = counters.error;
        return false;
    }
    return true;
}

void Recorder::RecordCall(Record& record)
{
    if (!Recording())
        return;
    record.thread = static_cast<std::uint32_t>(GetCurrentThreadId());
    const std::uint64_t end = Now();
    const std::uint64_t duration = end > record.timeUs ? end - record.timeUs : 0;
    record.durationUs = duration > 0xffffffffu ? 0xffffffffu : static_cast<std::uint32_t>(duration);
    writer_.Append(record);
}

void Recorder::Note(const std::string& text, bool alsoStderr)
{
    if (alsoStderr)
        ToStderr(text);
    if (!Recording())
        return;
    Record record;
    record.type = RecordType::Note;
    record.timeUs = Now();
    record.text = text;
    writer_.Append(record);
}

DWORD Recorder::RelayFor(DWORD thread)
{
    Library();
    ControlLock lock(controlMutex_);
    if (thread == 0)
        return 0; // the library stops posting; the relay has nothing to pass on
    const DWORD relay = relay_.Start(thread);
    if (Recording()) {
        Record record;
        record.type = RecordType::Relay;
        record.timeUs = Now();
        record.callerThread = thread;
        record.relayThread = relay;
        record.relayStarted = relay != 0;
        writer_.Append(record);
    }
    if (relay == 0) {
        Note("the relay thread could not start: messages go straight to the caller's thread, unrecorded", true);
        return thread;
    }
    return relay;
}

void Recorder::SessionEnded()
{
    ControlLock lock(controlMutex_);
    // Neither thread outlives the session: the library may be unloaded next.
    relay_.Stop();
    writer_.Pause();
}

void Recorder::OnMessage(const MSG& message, DWORD target)
{
    if (!Recording())
        return;
    Record record;
    record.type = RecordType::Message;
    record.timeUs = Now();
    record.message = message.message;
    record.wParam = static_cast<std::uint64_t>(message.wParam);
    record.lParam = static_cast<std::int64_t>(message.lParam);
    record.target = static_cast<std::uint32_t>(target);
    record.delivery = target != 0 ? Delivery::Posted : Delivery::NoThread;
    writer_.Append(record);
}

void Recorder::OnRefused(const MSG& message, DWORD target)
{
    // Rare (the caller's thread ended): said after the message's record.
    Note("message " + std::to_string(message.message) + " was refused by thread " + std::to_string(target) +
             ": it has no message queue (any more)",
         false);
}

bool Recorder::Begin(const std::string& tracePath, const std::string& libraryPath, std::string& error)
{
    ControlLock lock(controlMutex_);
    started_ = true; // the environment no longer chooses
    if (writer_.IsOpen()) {
        std::string ignored;
        EndLocked(ignored);
    }
    const ForwardLibrary* library = library_.load();
    if (!libraryPath.empty() && (!library || library->path != libraryPath)) {
        library = LoadLocked(libraryPath, error);
        if (!library)
            return false;
    }
    if (!library) {
        const char* fromEnvironment = std::getenv("ZORVA_TRACE_LIBRARY");
        if (!fromEnvironment || !*fromEnvironment) {
            error = "no USB library to forward to (give one, or set ZORVA_TRACE_LIBRARY)";
            return false;
        }
        if (!LoadLocked(fromEnvironment, error))
            return false;
    }
    return OpenLocked(tracePath, error);
}

bool Recorder::End(std::string& error)
{
    ControlLock lock(controlMutex_);
    return EndLocked(error);
}

ZorvaTraceCounters Recorder::Counters() const
{
    const WriterCounters counters = writer_.Counters();
    ZorvaTraceCounters out{};
    out.records = counters.records;
    out.droppedRecords = counters.droppedRecords;
    out.droppedBytes = counters.droppedBytes;
    out.fileBytes = counters.fileBytes;
    out.messages = counters.messages;
    out.recording = Recording() ? 1 : 0;
    out.failed = counters.failed ? 1 : 0;
    return out;
}

void Recorder::Exit()
{
    ControlLock lock(controlMutex_);
    relay_.Stop();
    if (writer_.IsOpen()) {
        std::string error;
        if (!EndLocked(error))
            ToStderr("the trace was not written whole: " + error);
    }
}

} // namespace zorvatrace
