#include "trace/recorder/RecorderInFront.h"

#include "trace/recorder/RecorderControl.h"
#include "platform/Library.h"

#include <atomic>

using namespace zorvaplatform;

namespace zorvatrace {

namespace {

/// The recorder this process put in front. Kept, since once the real library
/// is loaded too, its file name no longer tells the two apart on Windows.
std::atomic<void*> g_recorder{nullptr};

} // namespace

void* RecorderSymbol(const char* name)
{
    if (void* recorder = g_recorder.load())
        return LibrarySymbol(recorder, name);
    return LoadedUsbLibrarySymbol(name);
}

std::string RecorderBeside(const std::string& folder) { return folder + "trace/" + UsbLibraryFileName(); }

bool PutRecorderInFront(const std::string& recorderPath, const std::string& libraryPath, const std::string& tracePath,
                        std::string& error)
{
    auto begin = reinterpret_cast<ZorvaTraceBeginFn>(RecorderSymbol("ZorvaTrace_Begin"));
    if (!begin) {
        if (LoadedUsbLibrarySymbol("fmDLLInit")) {
            error = std::string("a USB library (") + UsbLibraryFileName() +
                    ") is loaded already: load the recorder before the plugin";
            return false;
        }
        void* recorder = LoadLibraryInFront(recorderPath, error);
        if (!recorder)
            return false;
        begin = reinterpret_cast<ZorvaTraceBeginFn>(LibrarySymbol(recorder, "ZorvaTrace_Begin"));
        // It must also be what the plugin's import will find by name.
        if (!begin || LoadedUsbLibrarySymbol("ZorvaTrace_Begin") == nullptr) {
            error = "\"" + recorderPath + "\" is not the recording USB library";
            return false;
        }
        g_recorder.store(recorder);
    }
    char why[1024] = {};
    if (!begin(tracePath.c_str(), libraryPath.c_str(), why, static_cast<int>(sizeof why))) {
        error = why;
        return false;
    }
    return true;
}

bool AdoptRecorder(const std::string& recorderPath, std::string& error)
{
    void* recorder = LoadLibraryFile(recorderPath, error);
    if (!recorder)
        return false;
    if (!LibrarySymbol(recorder, "ZorvaTrace_Begin")) {
        error = "\"" + recorderPath + "\" is not the recording USB library";
        return false;
    }
    g_recorder.store(recorder);
    return true;
}

bool EndRecording(std::string& error)
{
    auto end = reinterpret_cast<ZorvaTraceEndFn>(RecorderSymbol("ZorvaTrace_End"));
    if (!end) {
        error = "no recorder is in front of the USB library";
        return false;
    }
    char why[1024] = {};
    if (!end(why, static_cast<int>(sizeof why))) {
        error = why;
        return false;
    }
    return true;
}

void* RecordedLibrarySymbol(const char* name)
{
    auto find = reinterpret_cast<ZorvaTraceLibrarySymbolFn>(RecorderSymbol("ZorvaTrace_LibrarySymbol"));
    return find ? find(name) : nullptr;
}

} // namespace zorvatrace
