#include "VZORVADriverService.h"

#include "LibraryText.h"
#include "ZORVAUSBDevice.h"
#include "contract/Log.h"
#include "contract/LogLines.h"

#include <boost/bind/bind.hpp>
#include <boost/format.hpp>

#include <chrono>
#include <cstring>

namespace ZORVA {

namespace {

/// Polls of fmDLLIsDeviceInitComplete before the start-up times out:
/// 250 ms + 51 x 250 ms = 13 s.
const int InitPollCount = 51;
/// Polls of fmIsCelvoDownloadComplete, 500 ms apart: 25 s.
const int CalibrationPollCount = 50;
/// Characters of a platform serial number shown in calibration messages.
const std::size_t CalibrationSerialLength = 16;

/// fmDLLSetupCheck's result for a set-up that is the one last saved.
const int SetupUnchangedCode = 1;

const char* const TimedOutMessage = "ZORVA device initialization timed out, consider restarting the application.";

/// The set-up check's message for each code; the apostrophe of 215 is
/// Windows-1252's right single quotation mark, as in all our narrow texts.
const char* SetupMessage(int code)
{
    switch (code) {
    case 0: return "No ZORVA devices were found";
    case 1: return "The ZORVA setup is the same as the last saved configuration";
    case 211: return "The configuration file was not found";
    case 213: return "A configuration file was found but for the wrong version of the software";
    case 214:
        return "The configuration has changed. A different number of ZORVA devices were detected than the "
               "previously saved setup.";
    case 215: return "The configuration has changed. The serial numbers don\x92t match the previously saved setup.";
    default: return "fmDLLSetupCheck returned an unknown status code";
    }
}

} // namespace

VZORVADriverService::VZORVADriverService(MoldraDigitalDevice::IPluginHost* pluginHost) : host(pluginHost)
{
    workerThread.reset(new boost::thread(boost::bind(&VZORVADriverService::RunWorker, this)));
    startBarrier.wait();
}

VZORVADriverService::~VZORVADriverService()
{
    try {
        // Set first: the worker ends only on a quit it finds this flag for.
        quitRequested = true;
        PostThreadMessageW(workerThreadId, WM_QUIT_WORKER, 0, 0);
        workerThread->join();
        workerThread.reset();
        if (initialised) {
            Sleep(250);
            fmBroadcastStop();
            Sleep(250);
            fmDLLShutDown();
            LogLine(host, LogLineId::ShutDown);
            Sleep(500);
        }
    } catch (...) {
        // A destructor of the host's process must not throw.
    }
    delete dataReadyCallback.load();
}

// ---------------------------------------------------------------- worker

void VZORVADriverService::RunWorker()
{
    workerThreadId = GetCurrentThreadId();
    // A thread gets its message queue with its first message call; make it
    // now, before the constructor returns, or the first job posted is lost.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    startBarrier.wait();

    // The library posted data-ready and no pass has read every block since.
    bool dataWaiting = false;
    for (;;) {
        // Jobs and the quit first, in the order they were posted: however
        // many data-ready messages a library posts ahead of them (one per
        // block, and a slow host), one pass reads every waiting block, so a
        // job or the quit waits at most for the block in hand.
        BOOL got = PeekMessageW(&msg, nullptr, WM_JOB_PENDING, WM_QUIT_WORKER, PM_REMOVE);
        if (!got) {
            if (dataWaiting) {
                got = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
            } else {
                got = GetMessageW(&msg, nullptr, 0, 0);
                if (got < 0) {
                    Log(host, LogLevel::Warning, "GetMessageW failed; the driver's worker ends");
                    return;
                }
                if (got == 0)
                    msg.message = WM_QUIT;
                got = TRUE;
            }
        }
        if (got) {
            // WM_QUIT is not ours: only the destructor ends the worker.
            switch (msg.message) {
            case WM_DATA_READY: dataWaiting = true; break;
            case WM_JOB_PENDING: RunNextJob(); break;
            case WM_QUIT_WORKER:
                if (quitRequested)
                    return;
                IgnoredMessage(msg.message);
                break;
            case WM_QUIT: IgnoredMessage(WM_QUIT); break;
            default: break;
            }
        }
        // Between two jobs at most one block: data keep flowing while jobs run.
        if (dataWaiting)
            dataWaiting = !TransferAvailableBlocks();
    }
}

void VZORVADriverService::IgnoredMessage(UINT message)
{
    Log(host, LogLevel::Warning, boost::format("Thread message %d was not sent by the plugin; ignored") % message);
}

bool VZORVADriverService::TransferAvailableBlocks()
{
    for (;;) {
        float* block = nullptr;
        const int result = fmDLLTransferFloatData(&block);
        if (result <= 0 || !block) {
            // Drained (0), or a failing library: the pass ends here, the
            // library's next message starts another. One warning per run of
            // failures.
            if (result != 0 && !transferFailing) {
                transferFailing = true;
                LogLine(host, LogLineId::TransferWithoutBlock, result);
                if (result > 0)
                    Log(host, LogLevel::Warning, "Transfer data called with null pointer");
            }
            return true;
        }
        transferFailing = false;
        DataReadyCallback* callback = dataReadyCallback.load(std::memory_order_acquire);
        if (callback && !callback->empty()) {
            try {
                (*callback)(block);
            } catch (...) {
                // The worker must survive whatever the data path meets.
                Log(host, LogLevel::Warning, "Unexpected failure while handing a data block on");
            }
        }
        // Between blocks, a job or the quit posted meanwhile comes first, also
        // while the library delivers faster than the host takes the data; the
        // pass goes on after it. Other messages (more data-ready) wait.
        MSG waiting;
        if (PeekMessageW(&waiting, nullptr, WM_JOB_PENDING, WM_QUIT_WORKER, PM_NOREMOVE))
            return false;
    }
}

int VZORVADriverService::DiscardWaitingBlocks()
{
    // Bounded: a library that never runs dry must not hold the worker here.
    const int most = 65536;
    int discarded = 0;
    for (; discarded < most; ++discarded) {
        float* block = nullptr;
        if (fmDLLTransferFloatData(&block) <= 0 || !block)
            break;
    }
    return discarded;
}

void VZORVADriverService::RunNextJob()
{
    boost::function<void()> job;
    {
        MutexLock lock(queueMutex);
        if (jobQueue.empty())
            return;
        job = jobQueue.front();
        jobQueue.pop_front();
        // One job per message, so data-ready messages are served between jobs.
        PostThreadMessageW(workerThreadId, WM_JOB_PENDING, 0, 0);
    }
    try {
        job();
    } catch (const std::exception& e) {
        // A job that fails must not end the worker with it.
        Log(host, LogLevel::Warning, std::string("Unexpected failure in a driver job: ") + e.what());
    } catch (...) {
        Log(host, LogLevel::Warning, "Unexpected failure in a driver job");
    }
}

void VZORVADriverService::PostJob(const boost::function<void()>& job)
{
    MutexLock lock(queueMutex);
    jobQueue.push_back(job);
    PostThreadMessageW(workerThreadId, WM_JOB_PENDING, 0, 0);
}

// ---------------------------------------------------------------- public operations

void VZORVADriverService::SetAcquisitionStateCallback(AcquisitionStateCallback callback)
{
    MutexLock lock(serviceMutex);
    acquisitionStateCallback = callback;
}

void VZORVADriverService::SetDataReadyCallback(DataReadyCallback callback)
{
    MutexLock lock(serviceMutex);
    if (dataReadyCallback.load() || callback.empty())
        return;
    dataReadyCallback.store(new DataReadyCallback(callback), std::memory_order_release);
}

void VZORVADriverService::DetectHardware(DetectionCallback callback)
{
    PostJob(boost::bind(&VZORVADriverService::EnumerateDevices, this, callback));
}

void VZORVADriverService::SetAcquisitionRate(unsigned int rate)
{
    PostJob(boost::bind(&VZORVADriverService::RateJob, this, rate));
}

void VZORVADriverService::SetGenlockMode(bool on) { PostJob(boost::bind(&VZORVADriverService::GenlockJob, this, on)); }

std::uint64_t VZORVADriverService::StartAcquisition()
{
    MutexLock lock(queueMutex);
    // Numbered under the queue's lock: numbers rise in the queue's order.
    std::uint64_t start = 0;
    {
        MutexLock numbering(startMutex);
        start = ++startsQueued;
    }
    // A stop asked for from now on must run after this start, not be folded
    // into one queued before it.
    stopPending = false;
    jobQueue.push_back(boost::bind(&VZORVADriverService::StartJob, this, start));
    PostThreadMessageW(workerThreadId, WM_JOB_PENDING, 0, 0);
    return start;
}

void VZORVADriverService::StopAcquisition()
{
    MutexLock lock(queueMutex);
    // Set before the job is queued: the job, which clears it, runs after.
    if (stopPending.exchange(true))
        return;
    jobQueue.push_back(boost::bind(&VZORVADriverService::StopJob, this, ++latestStop));
    PostThreadMessageW(workerThreadId, WM_JOB_PENDING, 0, 0);
}

void VZORVADriverService::BlinkDevice(unsigned int deviceIndex)
{
    PostJob(boost::bind(&VZORVADriverService::BlinkJob, this, deviceIndex));
}

void VZORVADriverService::ZeroPlatforms()
{
    // On the worker (a host calling back from inside a push) the start cannot
    // run meanwhile: no wait there.
    if (GetCurrentThreadId() != workerThreadId)
        AwaitQueuedStarts();
    MutexLock lock(serviceMutex);
    if (!acquiring)
        return;
    Sleep(250);
    fmBroadcastZero();
    LogLine(host, LogLineId::Zero);
}

// ---------------------------------------------------------------- jobs

void VZORVADriverService::TellAcquisitionState(bool acquiringNow)
{
    AcquisitionStateCallback callback;
    {
        MutexLock lock(serviceMutex);
        callback = acquisitionStateCallback;
    }
    if (!callback.empty())
        callback(acquiringNow);
}

void VZORVADriverService::SetAcquiring(bool acquiringNow)
{
    acquiring = acquiringNow;
    TellAcquisitionState(acquiringNow);
}

void VZORVADriverService::RateJob(unsigned int rate)
{
    MutexLock lock(serviceMutex);
    Sleep(250);
    fmBroadcastAcquisitionRate(static_cast<int>(rate));
    LogLine(host, LogLineId::AcquisitionRate, rate);
}

void VZORVADriverService::GenlockJob(bool on)
{
    MutexLock lock(serviceMutex);
    Sleep(250);
    const int value = on ? 1 : 0;
    fmBroadcastGenlock(value);
    LogLine(host, LogLineId::GenlockMode, value);
}

void VZORVADriverService::AwaitQueuedStarts()
{
    UniqueLock<Mutex> lock(startMutex);
    const std::uint64_t awaited = startsQueued;
    startRan.wait_for(lock, std::chrono::milliseconds(QueuedStartWaitMs),
                      [&]() ZORVA_NO_THREAD_SAFETY_ANALYSIS { return startsRun >= awaited; });
}

void VZORVADriverService::StartJob(std::uint64_t start)
{
    bool started = false;
    {
        MutexLock lock(serviceMutex);
        if (initialised) {
            Sleep(250);
            // Whatever still waits in the library was measured before this start
            // (the signal conditioners were stopped first): handed on after it,
            // it would be taken for the new capture's first samples.
            const int discarded = DiscardWaitingBlocks();
            if (discarded > 0)
                LogLine(host, LogLineId::BlocksDiscarded, discarded);
            fmBroadcastStart();
            LogLine(host, LogLineId::Start);
            acquiring = true;
            started = true;
        }
    }
    {
        MutexLock lock(startMutex);
        startsRun = start;
    }
    startRan.notify_all();
    if (!started)
        return;
    startReported = start;
    TellAcquisitionState(true);
}

void VZORVADriverService::StopJob(std::uint64_t stop)
{
    {
        MutexLock lock(serviceMutex);
        Sleep(250);
        fmBroadcastStop();
        LogLine(host, LogLineId::Stop);
        acquiring = false;
    }
    {
        MutexLock lock(queueMutex);
        // A later stop, queued after a start, still waits.
        if (stop == latestStop)
            stopPending = false;
    }
    TellAcquisitionState(false);
}

void VZORVADriverService::BlinkJob(unsigned int deviceIndex)
{
    {
        MutexLock lock(serviceMutex);
        Sleep(250);
        fmDLLSelectDeviceIndex(static_cast<int>(deviceIndex));
        LogLine(host, LogLineId::SelectDevice, deviceIndex);
        fmSetBlink();
        LogLine(host, LogLineId::Blink);
        acquiring = false;
    }
    TellAcquisitionState(false);
}

// ---------------------------------------------------------------- detection

void VZORVADriverService::EnumerateDevices(DetectionCallback callback)
{
    VDllInitInfo info;
    info.status = DetectionStatus::SetupUnchanged;
    info.setupCode = 0;
    std::vector<VDeviceInfo> devices;
    {
        MutexLock lock(serviceMutex);
        InitialiseLibrary(info);

        // Asked even after a start-up that timed out: the callback gets what there is.
        const int count = fmDLLGetDeviceCount();
        LogLine(host, LogLineId::DeviceCount, count);

        DownloadCalibrationFiles();

        char text[ZORVA_USB_TEXT_SIZE];
        char length[ZORVA_USB_SIZE_TEXT_SIZE];
        char width[ZORVA_USB_SIZE_TEXT_SIZE];
        auto query = [&](int (*function)(char*)) {
            std::memset(text, 0, sizeof text);
            function(text);
            return LibraryText(text, sizeof text);
        };
        for (int j = 0; j < count; ++j) {
            VDeviceInfo device;
            fmDLLSelectDeviceIndex(j);
            LogLine(host, LogLineId::SelectDevice, j);
            device.amplifierModel = query(fmGetAmplifierModelNumber);
            LogLine(host, LogLineId::AmplifierModel, device.amplifierModel);
            device.productType = fmGetProductType();
            LogLine(host, LogLineId::ProductType, device.productType);
            device.firmwareVersion = query(fmGetAmplifierFirmwareVersion);
            LogLine(host, LogLineId::FirmwareVersion, device.firmwareVersion);
            device.amplifierSerial = query(fmGetAmplifierSerialNumber);
            LogLine(host, LogLineId::AmplifierSerial, device.amplifierSerial);
            device.platformModel = query(fmGetPlatformModelNumber);
            LogLine(host, LogLineId::PlatformModel, device.platformModel);
            device.platformSerial = query(fmGetPlatformSerialNumber);
            LogLine(host, LogLineId::PlatformSerial, device.platformSerial);
            device.originOffsets.assign(3, 0.0f);
            fmGetPlatformXYZOffsets(device.originOffsets.data());
            LogLine(host, LogLineId::PlatformOffsets, device.originOffsets[0], device.originOffsets[1],
                    device.originOffsets[2]);
            std::memset(length, 0, sizeof length);
            std::memset(width, 0, sizeof width);
            fmGetPlatformLengthAndWidth(length, width);
            device.platformLength = LibraryText(length, sizeof length);
            device.platformWidth = LibraryText(width, sizeof width);
            LogLine(host, LogLineId::PlatformSize, device.platformLength, device.platformWidth);
            device.deviceIndex = j;
            devices.push_back(device);
        }
    }

    Sleep(500);
    if (devices.size() > 4)
        Sleep(2000);
    callback(info, devices);
    SetAcquiring(false);
}

void VZORVADriverService::InitialiseLibrary(VDllInitInfo& info)
{
    if (initialised) {
        Sleep(250);
        fmBroadcastStop();
        LogLine(host, LogLineId::Stop);
        stopPending = false;
        Sleep(1000);
    }
    initialised = true;
    info.status = DetectionStatus::Started;
    fmDLLInit();
    LogLine(host, LogLineId::Init);
    Sleep(250);

    bool complete = false;
    for (int poll = 0; poll < InitPollCount && !complete; ++poll) {
        const int result = fmDLLIsDeviceInitComplete();
        LogLine(host, LogLineId::InitComplete, result);
        Sleep(250);
        complete = result != 0;
    }
    if (!complete) {
        initialised = false;
        info.status = DetectionStatus::TimedOut;
        info.message = TimedOutMessage;
        LogLine(host, LogLineId::InitFailed);
        return;
    }

    info.setupCode = fmDLLSetupCheck();
    LogLine(host, LogLineId::SetupCheck, info.setupCode);
    info.message = SetupMessage(info.setupCode);
    if (info.setupCode == SetupUnchangedCode)
        info.status = DetectionStatus::SetupUnchanged;

    const int packetSize = 512, runMode = 1, dataFormat = 1, postDataReady = 1;
    fmDLLSetUSBPacketSize(packetSize);
    LogLine(host, LogLineId::SetUsbPacketSize, packetSize);
    fmBroadcastRunMode(runMode);
    LogLine(host, LogLineId::RunMode, runMode);
    fmDLLSetDataFormat(dataFormat);
    LogLine(host, LogLineId::DataFormat, dataFormat);
    fmDLLPostDataReadyMessages(postDataReady);
    LogLine(host, LogLineId::PostDataReadyMessages, postDataReady);
    fmDLLPostUserThreadMessages(workerThreadId);
    LogLine(host, LogLineId::PostUserThreadMessages, workerThreadId);
    const int genlockOff = 0;
    fmBroadcastGenlock(genlockOff);
    LogLine(host, LogLineId::Genlock, genlockOff);
    fmBroadcastResetSoftware();
    LogLine(host, LogLineId::ResetSoftware);
    Sleep(1000);
}

void VZORVADriverService::DownloadCalibrationFiles()
{
    int indices[ZORVA_USB_CHECK_CELVO_SLOTS] = {};
    const int count = fmBroadcastCheckCelvo(indices);
    if (count < 1)
        return;
    Log(host, LogLevel::Warning, boost::format("%d Celvos not ready - BCF download will be attempted") % count);
    // The library has room for 16 indices only; the units beyond cannot be named.
    const int handled = count < ZORVA_USB_CHECK_CELVO_SLOTS ? count : ZORVA_USB_CHECK_CELVO_SLOTS;
    if (count > handled)
        Log(host, LogLevel::Warning,
            boost::format("Only %d of %d Celvos can be given a BCF download; the others may give bad results") %
                handled % count);

    char text[ZORVA_USB_TEXT_SIZE];
    for (int k = 0; k < handled; ++k) {
        const int d = indices[k];
        fmDLLSelectDeviceIndex(d);
        std::memset(text, 0, sizeof text);
        fmGetPlatformSerialNumber(text);
        const std::string serial = LibraryText(text, sizeof text).substr(0, CalibrationSerialLength);

        const int started = fmCelvoDownloadCalFile(1);
        if (started != 0) {
            switch (started) {
            case 3:
                Log(host, LogLevel::Warning, boost::format("Can't find Celvo BCF on the system for %s") % serial);
                break;
            case 2:
                Log(host, LogLevel::Warning,
                    boost::format("Signal conditioner %d thinks it's an Celvo but it isn't") % d);
                break;
            case 1: Log(host, LogLevel::Warning, boost::format("Platform %s is not an Celvo platform") % serial); break;
            default: Log(host, LogLevel::Warning, "Unable to download Celvo BCF for unknown reasons"); break;
            }
            Log(host, LogLevel::Warning, boost::format("Device %d may give bad results") % d);
            continue;
        }

        Log(host, LogLevel::Trace, boost::format("fmCelvoDownloadCalFile() called for platform %s") % serial);
        bool completed = false;
        bool failed = false;
        for (int poll = 0; poll < CalibrationPollCount && !completed && !failed; ++poll) {
            const int state = fmIsCelvoDownloadComplete();
            switch (state) {
            case 0: Sleep(500); break;
            case 1:
                Log(host, LogLevel::Trace, "Celvo download is complete");
                completed = true;
                break;
            case 3:
                Log(host, LogLevel::Warning, boost::format("Bad Celvo BCF version seen for %s") % serial);
                failed = true;
                break;
            case 4:
                Log(host, LogLevel::Warning, boost::format("Bad CRC check on Celvo BCF download for %s") % serial);
                failed = true;
                break;
            default:
                Log(host, LogLevel::Warning, boost::format("Celvo BCF download failed for %s") % serial);
                failed = true;
                break;
            }
        }
        if (completed)
            continue;
        if (!failed)
            Log(host, LogLevel::Warning, boost::format("Celvo BCF download timed out for %s") % serial);
        Log(host, LogLevel::Warning, boost::format("Device %d may give bad results") % d);
    }
}

} // namespace ZORVA
