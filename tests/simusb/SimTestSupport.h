// Shared set-up of the simulator tests: a clean simulator in stepped mode and
// virtual time, and the calls that bring the library to the point where it
// sends data, as the driver makes them.
#pragma once

#include "driver/ZORVAUSBDevice.h"
#include "simusb/SimControl.h"
#include "tests/support/TestEnvironment.h"
#include "win32/ZorvaWin32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace simtest {

/// Removes every message waiting in the calling thread's queue (creating the
/// queue if needed); returns how many were data-ready messages.
inline int DrainMessages()
{
    MSG msg{};
    int dataReady = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == ZORVA_USB_WM_DATA_READY)
            ++dataReady;
    return dataReady;
}

/// fmDLLInit and polls until the start-up completes (at most 100 polls).
inline bool InitLibrary()
{
    fmDLLInit();
    for (int i = 0; i < 100; ++i)
        if (fmDLLIsDeviceInitComplete())
            return true;
    return false;
}

/// Starts acquisition with data-ready messages going to `threadId`.
inline bool StartAcquisition(DWORD threadId)
{
    if (!InitLibrary())
        return false;
    fmDLLPostDataReadyMessages(1);
    fmDLLPostUserThreadMessages(threadId);
    fmBroadcastResetSoftware();
    return fmBroadcastStart() != 0;
}

/// Every block available now, copied.
inline std::vector<std::vector<float>> TransferAll(std::size_t floatsPerBlock)
{
    std::vector<std::vector<float>> blocks;
    float* block = nullptr;
    while (fmDLLTransferFloatData(&block))
        blocks.emplace_back(block, block + floatsPerBlock);
    return blocks;
}

/// One unit's text scenario with extra keys appended to its [unit] section.
inline std::string OneUnit(const std::string& scenarioKeys, const std::string& unitKeys)
{
    return "[scenario]\nname = one unit\n" + scenarioKeys + "\n[unit U]\nplugged = true\n" + unitKeys + "\n";
}

class SimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
        zorvasim::Reset();
        zorvasim::SetMode(zorvasim::Mode::Stepped);
        ASSERT_TRUE(zorvasim::SetVirtualTime(true));
        DrainMessages();
    }

    void TearDown() override
    {
        fmDLLShutDown();
        SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
        zorvasim::Reset();
        DrainMessages();
    }

    void Load(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(zorvasim::LoadScenarioText(text, &error)) << error;
    }
};

} // namespace simtest
