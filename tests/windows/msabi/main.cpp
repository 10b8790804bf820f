// The runtime half of the Microsoft-ABI test host (MinGW g++): loads
// ZORVAplugin.mdd beside the program with LoadLibraryW, calls the six exports,
// and drives the plugin through the host half (MsHost.cpp, compiled in the
// Microsoft C++ ABI), which implements the host objects and makes every call
// into the plugin's devices and values. Runs the whole path a host drives:
// definitions, the shared device, detection on the simulated USB library, the
// plates, a settings change, two captures numbered on its clock, a rate change
// from a second thread during Arm and the re-arm it asks for, Disarm, GetState
// and Shutdown.
// Exit status 0 when every check held.
#include "MsHostBridge.h"

#include "win32/ZorvaWin32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Clang's Microsoft target marks objects that use floating point with this
// symbol, which Microsoft's C runtime defines.
extern "C" {
int _fltused = 0;
}

namespace {

std::mutex g_lock;
std::mutex g_logMutex;
std::vector<std::string> g_logs;
int g_failures = 0;
const auto g_start = std::chrono::steady_clock::now();

void Fail(const std::string& text)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    ++g_failures;
    std::printf("FAIL: %s\n", text.c_str());
    std::fflush(stdout);
}

void Check(bool condition, const std::string& text)
{
    if (!condition)
        Fail(text);
}

bool LogContains(const std::string& text)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    for (const std::string& line : g_logs)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

/// Polls `done` for up to `seconds` of real time.
bool WaitFor(const std::function<bool()>& done, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::wstring PluginPath()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"ZORVAplugin.mdd";
}

struct Exports
{
    int (*PluginAPIVersion)();
    bool (*Initialise)(void*);
    void (*ProvideDeviceDefinitions)(void*);
    void (*BeginDeviceInstantiation)(void*);
    void (*OnManualDeviceInstantiation)(const char*, const char*, const char*);
    void (*Shutdown)();
};

template <typename F>
bool Resolve(HMODULE module, const char* name, F& out)
{
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!out)
        Fail(std::string("export not found: ") + name);
    return out != nullptr;
}

const char* const StandardModels[] = {"Pendra", "Veskin",     "Morrit",    "Talvo",  "Brisen", "Quillo", "Derran",
                                      "Hallon", "Fennik",     "Gorvin",    "Jastra", "Nubbet", "Oskel",  "Rimsa",
                                      "Sundel", "Sidebyside", "TreadMill", "Yarrik", "Zibbet"};

} // namespace

// ---------------------------------------------------------------- services lent to the host half

extern "C" void* msrt_alloc(unsigned long long size) { return std::malloc(size ? size : 1); }
extern "C" void msrt_free(void* memory) { std::free(memory); }
extern "C" void msrt_lock(void) { g_lock.lock(); }
extern "C" void msrt_unlock(void) { g_lock.unlock(); }
extern "C" double msrt_now(void)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
}
extern "C" void msrt_log(const char* text, int level)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_logs.push_back(text);
    if (level >= 2)
        std::printf("  plugin log [%d] %s\n", level, text);
}
extern "C" void msrt_fail(const char* what, const char* detail)
{
    Fail(std::string(what ? what : "?") + ": " + (detail ? detail : ""));
}

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring path = PluginPath();
    HMODULE plugin = LoadLibraryW(path.c_str());
    if (!plugin) {
        std::printf("FAIL: cannot load ZORVAplugin.mdd beside the program (error %lu)\n",
                    static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    Exports e{};
    if (!Resolve(plugin, "PluginAPIVersion", e.PluginAPIVersion) || !Resolve(plugin, "Initialise", e.Initialise) ||
        !Resolve(plugin, "ProvideDeviceDefinitions", e.ProvideDeviceDefinitions) ||
        !Resolve(plugin, "BeginDeviceInstantiation", e.BeginDeviceInstantiation) ||
        !Resolve(plugin, "OnManualDeviceInstantiation", e.OnManualDeviceInstantiation) ||
        !Resolve(plugin, "Shutdown", e.Shutdown))
        return 1;

    Check(e.PluginAPIVersion() == 1, "PluginAPIVersion is not 1");
    Check(e.Initialise(mshost_plugin_host()), "Initialise returned false");

    // Definitions: every value's type, flags, CopyTo into the host's own value, IsEqual back.
    e.ProvideDeviceDefinitions(mshost_registry());
    MsDefinitionSummary s{};
    mshost_definition_summary(&s);
    std::printf("definitions: %d, values: %d (copied %d, equal %d, doubles read %d)\n", s.definitions, s.values,
                s.copied, s.equal, s.doublesRead);
    Check(s.definitions == 21, "expected 21 definitions without configuration files");
    Check(s.values == 244, "expected 244 values in the 21 definitions");
    Check(s.copied == s.values && s.equal == s.values, "not every value copied into the host's value");
    Check(s.doublesRead == s.typeCounts[3] && s.typeCounts[3] > 0, "GetValue of a double value failed");
    const char* first = mshost_definition_name(0);
    Check(first && std::strcmp(first, "Digital device common settings") == 0, "the shared definition is not first");
    for (int i = 0; i < 19; ++i) {
        const char* name = mshost_definition_name(1 + i);
        Check(name && std::strcmp(name, StandardModels[i]) == 0,
              std::string("standard model out of place: ") + StandardModels[i]);
    }
    const char* last = mshost_definition_name(s.definitions - 1);
    Check(last && std::strcmp(last, "Force plate") == 0, "the generic plate is not last");

    // The shared device, attached: detection runs on the plugin's worker.
    e.BeginDeviceInstantiation(mshost_instantiator());
    Check(mshost_device_count() == 1 && std::strcmp(mshost_device_name(0), "ZORVA Shared Config Device") == 0,
          "the shared configuration device was not instantiated");
    Check(mshost_attach_new() == 1, "the shared device was not attached");
    const bool detected = WaitFor([] { return mshost_notify_count(0) >= 1; }, 30.0);
    Check(detected, "no detection result within 30 s");
    const int devices = mshost_device_count();
    std::printf("devices: %d\n", devices);
    Check(devices == 3, "expected the shared device and two plates");
    Check(mshost_attach_new() == devices - 1, "the plates were not attached");
    for (int d = 1; d < devices; ++d) {
        std::printf("  %s (%s)\n", mshost_device_name(d), mshost_device_definition(d));
        Check(mshost_parameter_bool(d, "Connected") == 1, "a plate did not publish Connected true");
    }

    // A settings change through the host's own values: the rate (an
    // enumeration) and the Fz threshold (a double with limits).
    Check(mshost_change_text(0, "SampleRate", 1, "500") == 1, "SampleRate change not taken");
    Check(mshost_change_double(0, "DataThreshold", 2, 5.0) == 1, "DataThreshold change not taken");

    // Two captures: between them blocks go on flowing after Disarm, and the
    // user changes the threshold. Each capture's sample numbers start near 0
    // and never run ahead of this host's clock by more than a block (plus
    // what scheduling may add under Wine, 0.1 s).
    const double rate = 500.0;
    std::vector<MsStream> streams(static_cast<std::size_t>(devices));
    for (int capture = 0; capture < 2; ++capture) {
        if (capture == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Check(mshost_change_double(0, "DataThreshold", 2, 6.0) == 1, "second DataThreshold change not taken");
        }
        const unsigned int stream = 100u * static_cast<unsigned int>(capture + 1);
        for (int d = 0; d < devices; ++d)
            Check(mshost_arm(d, stream + static_cast<unsigned int>(d)) == 1,
                  "Arm returned false on device " + std::to_string(d));
        for (int d = 1; d < devices; ++d) {
            MsSetupCalls calls{};
            mshost_setup_calls(d, &calls);
            Check(calls.samplesPerBlock == 16 && calls.timingMode == 2 && calls.ticksPerSample == 1000000 / 500,
                  "a plate declared the wrong stream (16 samples, timing mode 2, 2000 ticks at 500/s)");
        }
        const double start = msrt_now();
        mshost_set_capture(start, rate);
        for (int d = 0; d < devices; ++d)
            mshost_start_capture(d, start);
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        for (int d = 0; d < devices; ++d)
            mshost_disarm(d);
        for (int d = 0; d < devices; ++d) {
            int state = -1, rearm = -1;
            mshost_get_state(d, &state, &rearm);
            Check(state == 2, "state after Disarm is not 2 on device " + std::to_string(d));
            Check(rearm == 0 || rearm == 1, "GetState wrote no bool");
        }
        for (int d = 1; d < devices; ++d) {
            MsStream& st = streams[static_cast<std::size_t>(d)];
            mshost_stream(d, &st);
            std::printf(
                "  capture %d, plate %d: %lld blocks, frames %lld..%lld, %lld gaps, %lld bad calls, %lld loaded "
                "samples, %lld late, at most %.1f samples ahead of the clock\n",
                capture + 1, d, st.blocks, st.firstFrame, st.lastFrame, st.gaps, st.badArgs, st.loaded, st.late,
                st.maxAhead);
            Check(st.blocks >= 10, "too few blocks pushed");
            Check(st.gaps == 0, "frames did not run on by 16");
            Check(st.badArgs == 0, "PushSamples with wrong arguments");
            Check(st.loaded > 0, "no loaded sample");
            // Near 0: what the restart's pauses and the jobs queued before it take.
            Check(st.firstFrame >= 0 && st.firstFrame <= rate * 2.0, "the capture's first sample is not near 0");
            Check(st.maxAhead <= rate * 0.1 + 16.0, "sample numbers ran ahead of the host clock");
        }
    }
    Check(LogContains("::fmBroadcastAcquisitionRate(500)"), "the rate change did not reach the library");

    // A third capture: a second host thread changes the rate 200 ms into the
    // shared device's Arm. The change comes after Arm's start, so the plugin
    // asks for a re-arm; the host re-arms, and the capture runs at the new
    // rate, numbered on the host's clock.
    {
        for (int d = 1; d < devices; ++d)
            mshost_arm(d, 300u + static_cast<unsigned int>(d));
        std::thread change([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Check(mshost_change_text(0, "SampleRate", 1, "1000") == 1, "SampleRate change during Arm not taken");
        });
        Check(mshost_arm(0, 300) == 1, "Arm returned false with a change coming in");
        change.join();
        mshost_set_capture(msrt_now(), rate);
        mshost_start_capture(0, msrt_now());
        const bool asked = WaitFor(
            [] {
                int state = -1, rearm = -1;
                mshost_get_state(0, &state, &rearm);
                return rearm == 1;
            },
            5.0);
        Check(asked, "a rate change during Arm asked for no re-arm");
        for (int d = 1; d < devices; ++d)
            Check(mshost_arm(d, 400u + static_cast<unsigned int>(d)) == 1, "re-arming a plate failed");
        Check(mshost_arm(0, 400) == 1, "re-arming the shared device failed");
        for (int d = 1; d < devices; ++d) {
            MsSetupCalls calls{};
            mshost_setup_calls(d, &calls);
            Check(calls.ticksPerSample == 1000000 / 1000, "a re-armed plate did not declare 1000 per second");
        }
        const double newRate = 1000.0;
        const double start = msrt_now();
        mshost_set_capture(start, newRate);
        for (int d = 0; d < devices; ++d)
            mshost_start_capture(d, start);
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        int state = -1, rearm = -1;
        mshost_get_state(0, &state, &rearm);
        Check(state == 1 && rearm == 0, "the re-armed capture is not running, or asks for another re-arm");
        for (int d = 0; d < devices; ++d)
            mshost_disarm(d);
        for (int d = 1; d < devices; ++d) {
            MsStream st{};
            mshost_stream(d, &st);
            std::printf("  re-armed capture at 1000/s, plate %d: %lld blocks, frames %lld..%lld, %lld gaps, at most "
                        "%.1f samples ahead of the clock\n",
                        d, st.blocks, st.firstFrame, st.lastFrame, st.gaps, st.maxAhead);
            Check(st.blocks >= 20, "too few blocks pushed at 1000 per second");
            Check(st.gaps == 0 && st.badArgs == 0, "the re-armed capture's frames did not run on by 16");
            Check(st.firstFrame >= 0 && st.firstFrame <= newRate * 2.0,
                  "the re-armed capture's first sample is not near 0");
            Check(st.maxAhead <= newRate * 0.1 + 16.0, "sample numbers ran ahead of the host clock");
        }
        Check(LogContains("::fmBroadcastAcquisitionRate(1000)"),
              "the rate changed during Arm did not reach the library");
    }

    e.Shutdown();
    for (int d = 1; d < devices; ++d)
        mshost_stream(d, &streams[static_cast<std::size_t>(d)]);
    // After Shutdown nothing reaches the host any more.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int d = 1; d < devices; ++d) {
        MsStream after{};
        mshost_stream(d, &after);
        Check(after.blocks == streams[static_cast<std::size_t>(d)].blocks, "blocks pushed after Shutdown");
    }
    mshost_release();
    FreeLibrary(plugin);

    if (g_failures != 0) {
        std::printf("%d check(s) failed\n", g_failures);
        return 1;
    }
    std::printf("Microsoft-ABI host: all checks passed\n");
    return 0;
}
