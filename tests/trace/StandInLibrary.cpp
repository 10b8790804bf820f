// A second stand-in for the USB library, written only to have the recorder
// and the replay meet a library whose inside differs from the simulated one:
// three units, one of them a Celvo that wants its calibration file, a start-up
// that completes at the second poll, blocks handed out from a ring, and one
// data-ready message per block (the simulated library posts one per burst).
// StandIn_DeliverBlocks makes blocks on the caller's thread.
#include "driver/ZORVAUSBDevice.h"
#include "win32/ZorvaWin32.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

const int kUnits = 3;
const int kRing = 8;
const int kFloats = 16 * 8 * kUnits;

struct Library
{
    std::mutex mutex;
    bool initialised = false;
    int polls = 0;
    int selected = -1;
    bool acquiring = false;
    bool posting = false;
    unsigned int thread = 0;
    bool celvoPending = true;
    int downloadPolls = -1; // -1: no download running
    std::uint32_t counter = 5000;
    std::array<std::array<float, kFloats>, kRing> ring{};
    int produced = 0;
    int handedOut = 0;
};

Library& State()
{
    static Library* library = new Library(); // never destroyed: late calls find it
    return *library;
}

const int kTypes[kUnits] = {100, 400, 300};
const char* const kPlatforms[kUnits] = {"Pendra-600", "Quillo-600", "Gorvin-900"};
const char* const kLengths[kUnits] = {"23.622", "23.622", "35.433"};
const char* const kWidths[kUnits] = {"15.748", "23.622", "35.433"};

int WriteText(char* text, std::size_t size, const std::string& value)
{
    if (!text)
        return 0;
    std::snprintf(text, size, "%s", value.c_str());
    return 1;
}

bool Selected(const Library& s) { return s.initialised && s.selected >= 0 && s.selected < kUnits; }

} // namespace

ZORVA_USB_API int StandIn_DeliverBlocks(int count);

ZORVA_USB_API int fmDLLInit()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.initialised = true;
    s.polls = 0;
    s.acquiring = false;
    s.produced = s.handedOut = 0;
    return 1;
}

ZORVA_USB_API int fmDLLIsDeviceInitComplete()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.initialised && ++s.polls >= 2 ? 1 : 0;
}

ZORVA_USB_API int fmDLLSetupCheck() { return 214; }
ZORVA_USB_API int fmDLLSetUSBPacketSize(int) { return 1; }
ZORVA_USB_API int fmBroadcastRunMode(int) { return 1; }
ZORVA_USB_API int fmDLLSetDataFormat(int) { return 1; }

ZORVA_USB_API int fmDLLPostDataReadyMessages(int enable)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.posting = enable != 0;
    return 1;
}

ZORVA_USB_API int fmDLLPostUserThreadMessages(unsigned int threadId)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.thread = threadId;
    return 1;
}

ZORVA_USB_API int fmBroadcastResetSoftware()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.counter = 5000;
    s.produced = s.handedOut = 0;
    return 1;
}

ZORVA_USB_API int fmDLLShutDown()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.initialised = s.acquiring = s.posting = false;
    s.thread = 0;
    s.celvoPending = true; // forgotten at shut-down, so each session downloads again
    return 1;
}

ZORVA_USB_API int fmBroadcastStart()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.acquiring = s.initialised;
    return s.acquiring ? 1 : 0;
}

ZORVA_USB_API int fmBroadcastStop()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.acquiring = false;
    return 1;
}

ZORVA_USB_API int fmBroadcastZero() { return 1; }
ZORVA_USB_API int fmBroadcastAcquisitionRate(int rate) { return rate >= 1 && rate <= 4000 ? 1 : 0; }
ZORVA_USB_API int fmBroadcastGenlock(int) { return 1; }

ZORVA_USB_API int fmDLLGetDeviceCount()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.initialised ? kUnits : 0;
}

ZORVA_USB_API int fmDLLSelectDeviceIndex(int index)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.selected = index;
    return 1;
}

ZORVA_USB_API int fmGetProductType()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return Selected(s) ? kTypes[s.selected] : 0;
}

#define STANDIN_TEXT(function, value)                                                                                  \
    ZORVA_USB_API int function(char* text)                                                                             \
    {                                                                                                                  \
        Library& s = State();                                                                                          \
        std::lock_guard<std::mutex> lock(s.mutex);                                                                     \
        return Selected(s) ? WriteText(text, ZORVA_USB_TEXT_SIZE, value) : WriteText(text, ZORVA_USB_TEXT_SIZE, "");   \
    }

STANDIN_TEXT(fmGetAmplifierModelNumber, "SI-" + std::to_string(kTypes[s.selected]))
STANDIN_TEXT(fmGetAmplifierSerialNumber, "SIA-" + std::to_string(700 + s.selected))
STANDIN_TEXT(fmGetAmplifierFirmwareVersion, "9.9." + std::to_string(s.selected))
STANDIN_TEXT(fmGetPlatformModelNumber, kPlatforms[s.selected])
STANDIN_TEXT(fmGetPlatformSerialNumber, "SIP-" + std::to_string(900 + s.selected))

ZORVA_USB_API int fmGetPlatformXYZOffsets(float* offsets)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!offsets || !Selected(s))
        return 0;
    offsets[0] = 0.25f * static_cast<float>(s.selected);
    offsets[1] = -0.125f;
    offsets[2] = -1.5f - 0.0625f * static_cast<float>(s.selected);
    return 1;
}

ZORVA_USB_API int fmGetPlatformLengthAndWidth(char* length, char* width)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!length || !width || !Selected(s))
        return 0;
    WriteText(length, ZORVA_USB_SIZE_TEXT_SIZE, kLengths[s.selected]);
    WriteText(width, ZORVA_USB_SIZE_TEXT_SIZE, kWidths[s.selected]);
    return 1;
}

ZORVA_USB_API int fmSetBlink() { return 1; }

ZORVA_USB_API int fmBroadcastCheckCelvo(int* indices)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!indices || !s.initialised || !s.celvoPending)
        return 0;
    indices[0] = 1;
    return 1;
}

ZORVA_USB_API int fmCelvoDownloadCalFile(int)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.selected != 1)
        return 2;
    s.downloadPolls = 0;
    return 0;
}

ZORVA_USB_API int fmIsCelvoDownloadComplete()
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.downloadPolls < 0)
        return 2;
    if (++s.downloadPolls < 2)
        return 0;
    s.downloadPolls = -1;
    s.celvoPending = false;
    return 1;
}

ZORVA_USB_API int fmDLLTransferFloatData(float** block)
{
    Library& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!block)
        return 0;
    if (s.handedOut == s.produced) {
        *block = nullptr;
        return 0;
    }
    *block = s.ring[static_cast<std::size_t>(s.handedOut % kRing)].data();
    ++s.handedOut;
    return 1;
}

ZORVA_USB_API int StandIn_DeliverBlocks(int count)
{
    Library& s = State();
    std::vector<unsigned int> posts;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.acquiring || !s.posting || s.thread == 0)
            return 0;
        for (int b = 0; b < count && s.produced - s.handedOut < kRing; ++b) {
            std::array<float, kFloats>& block = s.ring[static_cast<std::size_t>(s.produced % kRing)];
            for (int sample = 0; sample < 16; ++sample) {
                for (int k = 0; k < kUnits; ++k) {
                    float* record = block.data() + (sample * kUnits + k) * 8;
                    const float t = static_cast<float>(s.counter % 1000);
                    record[0] = static_cast<float>(s.counter);
                    record[1] = 1.5f + 0.01f * t;
                    record[2] = -2.0f * static_cast<float>(k);
                    record[3] = -(400.0f + 50.0f * static_cast<float>(k)) - t / 7.0f;
                    record[4] = 12.0f + static_cast<float>(k);
                    record[5] = -8.5f + t / 100.0f;
                    record[6] = 0.25f;
                    record[7] = k == 1 ? 5.0f : 0.0f;
                }
                ++s.counter;
            }
            ++s.produced;
            posts.push_back(s.thread);
        }
    }
    // One message per block, however many wait.
    for (unsigned int thread : posts)
        PostThreadMessageW(thread, ZORVA_USB_WM_DATA_READY, 0, 0);
    return static_cast<int>(posts.size());
}
