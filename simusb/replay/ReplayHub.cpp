#include "simusb/replay/ReplayHub.h"

#include "simusb/bench/Simulator.h"
#include "simusb/bench/CallTrace.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zorvasim {
namespace detail {

using zorvatrace::Function;
using zorvatrace::OutKind;
using zorvatrace::Record;
using zorvatrace::RecordType;

namespace {

/// Recorded calls read ahead of the one expected: how far a caller may have
/// left out recorded calls and still be found again.
constexpr std::size_t kLookaheadCalls = 64;
/// Records read ahead at most, messages included: bounds the memory.
constexpr std::size_t kWindowRecords = 4096;
/// Mismatches kept for ReplayMismatches, and written to stderr.
constexpr std::size_t kKeptMismatches = 1000;
constexpr std::uint64_t kPrintedMismatches = 20;

std::atomic<ReplayHub*> g_hub{nullptr};

// Ends the pacer thread before the process tears down the runtime under it.
struct PacerExitGuard
{
    ~PacerExitGuard()
    {
        if (ReplayHub* hub = g_hub.load())
            hub->Exit();
    }
} g_pacerExitGuard;

/// The simulator's own trace line for a call, as the bench writes it.
std::string SimulatorEntry(Function function, std::int32_t argument, int result)
{
    const zorvatrace::FunctionInfo& info = zorvatrace::Info(function);
    const std::string name = info.name;
    switch (function) {
    case Function::DLLIsDeviceInitComplete:
    case Function::DLLSetupCheck:
    case Function::DLLGetDeviceCount:
    case Function::GetProductType:
    case Function::BroadcastCheckCelvo:
    case Function::IsCelvoDownloadComplete:
    case Function::DLLTransferFloatData: return ResultEntry(name + "()", result);
    case Function::CelvoDownloadCalFile: return ResultEntry(CallEntry(info.name, argument), result);
    case Function::DLLPostUserThreadMessages: return CallEntry(info.name, static_cast<std::uint32_t>(argument));
    default: break;
    }
    return info.argument == zorvatrace::ArgumentKind::None ? name + "()" : CallEntry(info.name, argument);
}

/// What a caller gets where the recording has nothing to say: 0, empty
/// texts, no block.
void DefaultAnswer(Function function, const CallArgs& args, int& result)
{
    result = 0;
    switch (zorvatrace::Info(function).out) {
    case OutKind::Text:
        if (args.text)
            args.text[0] = '\0';
        break;
    case OutKind::TwoTexts:
        if (args.text && args.text2) {
            args.text[0] = '\0';
            args.text2[0] = '\0';
        }
        break;
    case OutKind::Offsets:
        if (args.offsets)
            std::fill(args.offsets, args.offsets + 3, 0.0f);
        break;
    case OutKind::Block:
        if (args.block)
            *args.block = nullptr;
        break;
    case OutKind::CelvoSlots:
    case OutKind::None: break;
    }
}

void CopyText(const zorvatrace::OutText& text, char* buffer)
{
    // The reader checked it fits: a terminated text is shorter than its buffer.
    std::memcpy(buffer, text.bytes.data(), text.bytes.size());
    if (text.terminated)
        buffer[text.bytes.size()] = '\0';
}

bool ArgumentsDiffer(const Record& recorded, std::int32_t now)
{
    switch (zorvatrace::Info(recorded.function).argument) {
    case zorvatrace::ArgumentKind::Int: return recorded.argument != now;
    // Thread ids change from run to run: only registering none matters.
    case zorvatrace::ArgumentKind::ThreadId: return (recorded.argument == 0) != (now == 0);
    case zorvatrace::ArgumentKind::None: break;
    }
    return false;
}

} // namespace

bool Replayed(Function function, const CallArgs& args, int& result)
{
    ReplayHub& hub = ReplayHub::Instance();
    return hub.Active() && hub.Answer(function, args, result);
}

ReplayHub& ReplayHub::Instance()
{
    // Never destroyed: calls made during process exit still find it.
    static ReplayHub* instance = [] {
        auto* hub = new ReplayHub();
        g_hub.store(hub);
        hub->LoadFromEnvironment();
        return hub;
    }();
    return *instance;
}

bool ReplayHub::Load(const std::string& path, ReplayPace pace, std::string& error)
{
    // The whole trace is checked first, on a pass of its own record by
    // record: a corrupt one is refused whole.
    const zorvatrace::ReadOutcome check = zorvatrace::ReadTraceRecords(path, [](const Record&) {});
    const std::uint64_t records = check.records;
    std::string truncated;
    if (check.errorKind == zorvatrace::ReadError::Truncated) {
        truncated = check.error;
    } else if (check.errorKind != zorvatrace::ReadError::None) {
        error = path + ": " + check.error;
        return false;
    }
    auto session = std::make_unique<ReplaySession>();
    session->path = path;
    session->pace = pace;
    if (!session->reader.Open(path)) {
        error = path + ": " + session->reader.Error();
        return false;
    }
    session->status.active = true;
    session->status.path = path;
    session->status.truncated = truncated;
    if (!truncated.empty()) {
        std::fprintf(stderr, "zorvasim: trace \"%s\" is cut short (%s): replaying its %llu records\n", path.c_str(),
                     truncated.c_str(), static_cast<unsigned long long>(records));
        std::fflush(stderr);
    }
    StopPacer();
    SimLock lock(mutex_);
    session_ = std::move(session);
    active_.store(true, std::memory_order_release);
    return true;
}

void ReplayHub::End()
{
    {
        SimLock lock(mutex_);
        session_.reset();
        active_.store(false, std::memory_order_release);
    }
    StopPacer();
}

void ReplayHub::LoadFromEnvironment()
{
    End();
    const char* path = std::getenv("ZORVA_SIM_SCENARIO");
    if (!path || !*path || !zorvatrace::LooksLikeTrace(path))
        return;
    std::string error;
    if (!Load(path, ReplayPace::Auto, error)) {
        std::fprintf(stderr, "zorvasim: trace (ZORVA_SIM_SCENARIO) not replayed: %s; using the built-in two plates\n",
                     error.c_str());
        std::fflush(stderr);
    }
}

ReplayStatus ReplayHub::Status() const
{
    SimLock lock(mutex_);
    if (!session_)
        return ReplayStatus();
    ReplayStatus status = session_->status;
    status.finished = session_->readerDone && session_->windowCalls == 0;
    status.nextCall = 0;
    if (status.finished) {
        status.nextCall = std::numeric_limits<std::uint64_t>::max();
    } else {
        for (const Record& record : session_->window) {
            if (record.type == RecordType::Call) {
                status.nextCall = record.number;
                break;
            }
        }
    }
    return status;
}

std::vector<ReplayMismatch> ReplayHub::Mismatches() const
{
    SimLock lock(mutex_);
    return session_ ? session_->mismatches : std::vector<ReplayMismatch>();
}

void ReplayHub::FillWindowLocked()
{
    ReplaySession& s = *session_;
    while (!s.readerDone && s.windowCalls < kLookaheadCalls && s.window.size() < kWindowRecords) {
        Record record;
        if (s.reader.Next(record) != zorvatrace::ReadStatus::Record) {
            // The end, or the cut of a trace cut short (told at loading).
            s.readerDone = true;
            break;
        }
        const RecordType type = record.type;
        s.window.push_back(std::move(record));
        if (type == RecordType::Call)
            ++s.windowCalls;
        // Calls are written when they return, messages when the relay got
        // them: a message belongs after every call that began before it was
        // posted (also one it was posted during) and before every call that
        // began after. The times (a call's start, a message's arrival) say
        // which; calls keep their order among themselves, and so do messages.
        for (std::size_t at = s.window.size() - 1; at > 0; --at) {
            Record& before = s.window[at - 1];
            Record& it = s.window[at];
            const bool callAfterMessage =
                it.type == RecordType::Call && before.type == RecordType::Message && before.timeUs >= it.timeUs;
            const bool messageBeforeCall =
                it.type == RecordType::Message && before.type == RecordType::Call && before.timeUs > it.timeUs;
            if (!callAfterMessage && !messageBeforeCall)
                break;
            std::swap(before, it);
        }
    }
}

void ReplayHub::PopFrontLocked()
{
    ReplaySession& s = *session_;
    if (s.window.front().type == RecordType::Call) {
        --s.windowCalls;
        ++s.status.recordedCalls;
    }
    s.window.pop_front();
}

void ReplayHub::ReleaseLocked(std::vector<Post>& posts)
{
    ReplaySession& s = *session_;
    for (;;) {
        FillWindowLocked();
        if (s.window.empty())
            return;
        const Record& record = s.window.front();
        if (record.type == RecordType::Call) {
            const bool foundNothing = record.function == Function::DLLTransferFloatData && record.result == 0 &&
                                      !(record.flags & (zorvatrace::kCallHasBlock | zorvatrace::kCallMissing));
            if (!foundNothing || s.pollsAhead == 0)
                return;
            --s.pollsAhead;
            ++s.status.timingDifferences;
            s.lastCallEndUs = record.timeUs + record.durationUs;
            PopFrontLocked();
            continue;
        }
        if (record.type == RecordType::Message) {
            Post post;
            post.thread = s.thread;
            post.message = record.message;
            post.wParam = static_cast<WPARAM>(record.wParam);
            post.lParam = static_cast<LPARAM>(record.lParam);
            const std::uint64_t after = record.timeUs > s.lastCallEndUs ? record.timeUs - s.lastCallEndUs : 0;
            post.due = std::chrono::steady_clock::now() + std::chrono::microseconds(after);
            posts.push_back(post);
        } else if (record.type == RecordType::Dropped && !s.lossReported) {
            s.lossReported = true;
            Mismatch(record.number, std::string(), std::string(),
                     "the recording lost " + std::to_string(record.lostRecords) +
                         " records here (its disk was too slow): the replay may differ from here on");
        }
        PopFrontLocked();
    }
}

void ReplayHub::Mismatch(std::uint64_t record, const std::string& recorded, const std::string& now,
                         const std::string& what)
{
    ReplaySession& s = *session_;
    ReplayMismatch mismatch;
    mismatch.call = s.status.calls;
    mismatch.record = record;
    mismatch.recorded = recorded;
    mismatch.now = now;
    mismatch.text = "call " + std::to_string(mismatch.call) + " (record " + std::to_string(record) + "): ";
    if (!recorded.empty())
        mismatch.text += "recorded " + recorded + ", ";
    if (!now.empty())
        mismatch.text += "now " + now + ": ";
    mismatch.text += what;
    ++s.status.mismatches;
    if (s.status.mismatches <= kPrintedMismatches) {
        std::fprintf(stderr, "zorvasim: replay of \"%s\": %s\n", s.path.c_str(), mismatch.text.c_str());
        if (s.status.mismatches == kPrintedMismatches)
            std::fprintf(stderr, "zorvasim: replay of \"%s\": further differences are counted, not printed\n",
                         s.path.c_str());
        std::fflush(stderr);
    }
    if (s.mismatches.size() < kKeptMismatches)
        s.mismatches.push_back(std::move(mismatch));
}

void ReplayHub::AnswerFromLocked(const Record& record, const CallArgs& args, int& result)
{
    ReplaySession& s = *session_;
    result = record.result;
    if (record.function == Function::DLLPostUserThreadMessages)
        s.thread = static_cast<std::uint32_t>(args.argument);
    if (record.function == Function::DLLGetDeviceCount && result > static_cast<int>(zorvatrace::kMaxBlockUnits)) {
        Mismatch(record.number, std::string(), std::string(),
                 "a device count of " + std::to_string(result) + " is answered as " +
                     std::to_string(zorvatrace::kMaxBlockUnits) + ": no block holds more");
        result = static_cast<int>(zorvatrace::kMaxBlockUnits);
    }
    if (record.flags & (zorvatrace::kCallMissing | zorvatrace::kCallPointerNull)) {
        // The recorded caller's buffers were not written; neither are these,
        // except that a transfer hands out no block.
        if (record.function == Function::DLLTransferFloatData && args.block)
            *args.block = nullptr;
        return;
    }
    switch (zorvatrace::Info(record.function).out) {
    case OutKind::Text:
        if (args.text)
            CopyText(record.texts[0], args.text);
        break;
    case OutKind::TwoTexts:
        if (args.text && args.text2) {
            CopyText(record.texts[0], args.text);
            CopyText(record.texts[1], args.text2);
        }
        break;
    case OutKind::Offsets:
        if (args.offsets)
            std::copy(record.offsets.begin(), record.offsets.end(), args.offsets);
        break;
    case OutKind::CelvoSlots:
        if (args.slots)
            std::copy(record.slots.begin(), record.slots.end(), args.slots);
        break;
    case OutKind::Block:
        if (!args.block)
            break;
        if (!(record.flags & zorvatrace::kCallHasBlock)) {
            *args.block = nullptr;
            break;
        }
        // Room for the most units a device count is answered with, so a
        // caller that reads as many as it was told never reads past it.
        if (block_.empty())
            block_.assign(static_cast<std::size_t>(zorvatrace::kMaxBlockUnits) * zorvatrace::kFloatsPerUnitBlock, 0.0f);
        std::copy(record.block.begin(), record.block.end(), block_.begin());
        if (record.block.size() < blockFloatsUsed_)
            std::fill(block_.begin() + static_cast<std::ptrdiff_t>(record.block.size()),
                      block_.begin() + static_cast<std::ptrdiff_t>(blockFloatsUsed_), 0.0f);
        blockFloatsUsed_ = record.block.size();
        *args.block = block_.data();
        ++s.status.blocks;
        s.pollsAhead = 0;
        break;
    case OutKind::None: break;
    }
}

bool ReplayHub::Answer(Function function, const CallArgs& args, int& result)
{
    const bool virtualTime = Simulator::Instance().VirtualTimeOn();
    std::vector<Post> posts;
    bool paced = false;
    {
        SimLock lock(mutex_);
        if (!session_)
            return false;
        ReplaySession& s = *session_;
        paced = s.pace == ReplayPace::Recorded || (s.pace == ReplayPace::Auto && !virtualTime);
        ++s.status.calls;
        const std::string now = zorvatrace::DescribeCall(function, args.argument);
        ReleaseLocked(posts);
        for (;;) {
            if (s.window.empty()) {
                Mismatch(s.reader.NextNumber(), std::string(), now, "beyond the end of the recording");
                DefaultAnswer(function, args, result);
                break;
            }
            const Record& front = s.window.front();
            if (front.function == function) {
                if (ArgumentsDiffer(front, args.argument))
                    Mismatch(front.number, zorvatrace::DescribeCall(front.function, front.argument), now,
                             "another argument");
                AnswerFromLocked(front, args, result);
                s.lastCallEndUs = front.timeUs + front.durationUs;
                s.borrowed = false;
                PopFrontLocked();
                ReleaseLocked(posts);
                break;
            }
            // A transfer that found nothing is a matter of thread timing: a
            // poll more here, or one less, than in the recording.
            if (function == Function::DLLTransferFloatData) {
                ++s.status.timingDifferences;
                ++s.pollsAhead;
                DefaultAnswer(function, args, result);
                break;
            }
            if (front.function == Function::DLLTransferFloatData && !(front.flags & zorvatrace::kCallHasBlock)) {
                ++s.status.timingDifferences;
                s.lastCallEndUs = front.timeUs + front.durationUs;
                PopFrontLocked();
                ReleaseLocked(posts);
                continue;
            }
            // Further on: the same call with the same argument, else the same call.
            std::size_t found = 0;
            for (int pass = 0; pass < 2 && found == 0; ++pass) {
                for (std::size_t i = 1; i < s.window.size(); ++i) {
                    const Record& r = s.window[i];
                    if (r.type == RecordType::Call && r.function == function &&
                        (pass == 1 || !ArgumentsDiffer(r, args.argument))) {
                        found = i;
                        break;
                    }
                }
            }
            const std::string recorded = zorvatrace::DescribeCall(front.function, front.argument);
            if (found == 0) {
                Mismatch(front.number, recorded, now, "not in the recording here");
                DefaultAnswer(function, args, result);
                break;
            }
            // Is the caller running ahead of the recording (the call before
            // the one found is the one it made last, also out of turn)? Then
            // it left out what lies between. Otherwise this call is more
            // likely one made once more than recorded (a stop the plugin did
            // not fold into another): it is answered as the recorded call
            // further on was, which stays for its own turn.
            std::size_t previous = found;
            while (previous > 0 && s.window[previous - 1].type != RecordType::Call)
                --previous;
            const bool runningAhead = s.borrowed && previous > 0 && s.window[previous - 1].number == s.borrowedRecord;
            if (!runningAhead) {
                Mismatch(front.number, recorded, now,
                         "not in the recording here; answered as record " + std::to_string(s.window[found].number));
                AnswerFromLocked(s.window[found], args, result);
                s.borrowed = true;
                s.borrowedRecord = s.window[found].number;
                break;
            }
            std::string skipped;
            std::size_t calls = 0;
            for (std::size_t i = 0; i < found; ++i) {
                const Record& r = s.window[i];
                if (r.type != RecordType::Call)
                    continue;
                if (++calls <= 3)
                    skipped += (calls > 1 ? ", " : "") + zorvatrace::DescribeCall(r.function, r.argument);
            }
            Mismatch(front.number, recorded, now,
                     "the recording has " + std::to_string(calls) + " call" + (calls == 1 ? "" : "s") + " before it (" +
                         skipped + (calls > 3 ? ", ..." : "") + "), passed over");
            // Messages among the calls passed over still go out: the blocks
            // they announce are the recording's too.
            for (std::size_t i = 0; i < found; ++i) {
                if (s.window.front().type == RecordType::Message) {
                    const Record& message = s.window.front();
                    Post post;
                    post.thread = s.thread;
                    post.message = message.message;
                    post.wParam = static_cast<WPARAM>(message.wParam);
                    post.lParam = static_cast<LPARAM>(message.lParam);
                    post.due = std::chrono::steady_clock::now();
                    posts.push_back(post);
                }
                PopFrontLocked();
            }
        }
        Simulator::Instance().TraceLog().Add(SimulatorEntry(function, args.argument, result));
    }
    Deliver(posts, paced);
    return true;
}

void ReplayHub::Deliver(std::vector<Post>& posts, bool paced)
{
    if (posts.empty())
        return;
    if (paced) {
        SimLock lock(pacerMutex_);
        for (const Post& post : posts)
            pacerQueue_.push_back(post);
        if (!pacer_.joinable()) {
            pacerQuit_ = false;
            pacer_ = std::thread(&ReplayHub::PacerLoop, this);
        }
        pacerWake_.notify_all();
        return;
    }
    for (const Post& post : posts)
        CountPosted(post.thread != 0 && PostThreadMessageW(post.thread, post.message, post.wParam, post.lParam));
}

void ReplayHub::CountPosted(bool posted)
{
    SimLock lock(mutex_);
    if (!session_)
        return;
    if (posted)
        ++session_->status.messages;
    else
        ++session_->status.messageFailures;
}

void ReplayHub::PacerLoop()
{
    SimUniqueLock lock(pacerMutex_);
    for (;;) {
        // Real time: the recorded pace is the library's, not the caller's Sleep.
        pacerWake_.wait(lock, [this]() ZORVA_REQUIRES(pacerMutex_) { return pacerQuit_ || !pacerQueue_.empty(); });
        if (pacerQuit_)
            return;
        const auto due = pacerQueue_.front().due;
        if (pacerWake_.wait_until(lock, due, [this]() ZORVA_REQUIRES(pacerMutex_) { return pacerQuit_; }))
            return;
        const Post post = pacerQueue_.front();
        pacerQueue_.pop_front();
        lock.Unlock();
        CountPosted(post.thread != 0 && PostThreadMessageW(post.thread, post.message, post.wParam, post.lParam));
        lock.Lock();
    }
}

void ReplayHub::StopPacer()
{
    std::thread pacer;
    {
        SimLock lock(pacerMutex_);
        pacerQuit_ = true;
        pacerQueue_.clear();
        pacer = std::move(pacer_);
        pacerWake_.notify_all();
    }
    if (pacer.joinable())
        pacer.join();
}

void ReplayHub::Exit() { StopPacer(); }

} // namespace detail
} // namespace zorvasim
