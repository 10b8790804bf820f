/// The one owner of the USB library: a worker thread with a Windows
/// thread-message loop that runs queued commands one at a time and hands every
/// data block the library delivers to a registered callback.
#pragma once

#include "DetectionStatus.h"
#include "host/HostInterfaces.h"
#include "win32/ZorvaWin32.h"

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/barrier.hpp>
#include "win32/ThreadSafety.h"
#include <boost/thread/thread.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace ZORVA {

/// Thread contract:
/// - Host threads (through the devices) call the public operations. All but
///   ZeroPlatforms and the two registrations only queue a job and return.
/// - The worker thread runs every job, the detection and the whole data path.
///   It is the only thread that calls the library, except fmBroadcastZero (on
///   the caller of ZeroPlatforms) and the final stop and shut-down (on the
///   destroying thread, after the worker has ended).
/// - `serviceMutex` is held by every job while it talks to the library (the
///   detection job for its whole start-up and enumeration, up to tens of
///   seconds), by ZeroPlatforms and by the registrations, so those may block
///   their caller that long. `queueMutex` guards `jobQueue`. The two are never
///   held together, and neither is held while a callback runs, so callbacks
///   may call back into the service.
/// - The data path takes no lock and allocates nothing: the library's block
///   pointer goes to the data callback unchanged. Jobs and the quit come
///   before data: after each block the worker looks for them and serves them
///   before the next block, however fast the library delivers and however
///   many data-ready messages it posts (one pass reads every waiting block,
///   so the worker folds them into one); between two jobs it hands on at most
///   one block. Only a positive transfer result with a block is a block.
/// - The start job discards the blocks still waiting in the library before it
///   starts the signal conditioners: they were measured before the start.
/// - Each start is numbered when it is queued (StartAcquisition's result); the
///   acquisition-state callback of a start can read which one it reports
///   (StartReported), so a device tells its own restart from an earlier one.
/// - A stop asked for after a start runs after that start: it is folded into a
///   queued stop only when no start was queued since.
/// - ZeroPlatforms called while a start is queued waits (a bounded time, and
///   never on the worker) until that start has run, so the zero reaches a
///   running capture instead of being dropped as "not acquiring".
/// - The worker ends only on the destructor's WM_QUIT_WORKER; a WM_QUIT or a
///   WM_QUIT_WORKER posted by anyone else is logged and ignored.
class VZORVADriverService
{
public:
    /// Outcome of a library start-up.
    struct VDllInitInfo
    {
        DetectionStatus status = DetectionStatus::SetupUnchanged;
        /// fmDLLSetupCheck's result; meaningful only when status is not 2.
        int setupCode = 0;
        std::string message;
    };

    /// Identity of one signal conditioner and its platform, as the library reports it.
    struct VDeviceInfo
    {
        int productType = 0;
        std::string amplifierModel;
        std::string amplifierSerial;
        std::string firmwareVersion;
        std::string platformModel;
        std::string platformSerial;
        /// X, Y, Z of the platform's origin, inches; always 3 entries.
        std::vector<float> originOffsets;
        /// Decimal texts, inches.
        std::string platformLength;
        std::string platformWidth;
        /// The library's device index, equal to the record's position in the list.
        int deviceIndex = 0;
    };

    /// One call per transferred block; the block belongs to the library.
    typedef boost::function<void(float*)> DataReadyCallback;
    /// True when acquisition started, false when it stopped.
    typedef boost::function<void(bool)> AcquisitionStateCallback;
    typedef boost::function<void(VDllInitInfo, std::vector<VDeviceInfo>)> DetectionCallback;

    /// Thread messages of the worker (wParam and lParam are not read).
    enum : UINT
    {
        WM_DATA_READY = WM_USER + 109,  ///< posted by the library
        WM_JOB_PENDING = WM_USER + 110, ///< one per queued job
        WM_QUIT_WORKER = WM_USER + 111  ///< posted by the destructor
    };

    /// Starts the worker; returns once its message queue exists, so a job
    /// queued right after construction reaches it. Logs through `host` (may be null).
    explicit VZORVADriverService(MoldraDigitalDevice::IPluginHost* host);
    /// Runs the jobs still queued, ends the worker, then stops and shuts down
    /// the library if it was started.
    virtual ~VZORVADriverService();
    VZORVADriverService(const VZORVADriverService&) = delete;
    VZORVADriverService& operator=(const VZORVADriverService&) = delete;

    /// Replaces the stored callback (caller's thread, under serviceMutex).
    void SetAcquisitionStateCallback(AcquisitionStateCallback callback) ZORVA_EXCLUDES(serviceMutex);
    /// Keeps only the first callback it is given (caller's thread, under serviceMutex).
    void SetDataReadyCallback(DataReadyCallback callback) ZORVA_EXCLUDES(serviceMutex);
    /// Queues a detection: library (re)start, calibration download, enumeration.
    void DetectHardware(DetectionCallback callback);
    /// Queues a rate command; datasets per second.
    void SetAcquisitionRate(unsigned int rate);
    void SetGenlockMode(bool on);
    /// Queues a start; it sends nothing while the library is not started.
    /// Returns the start's number (from 1, rising).
    std::uint64_t StartAcquisition() ZORVA_EXCLUDES(queueMutex);
    /// Inside the acquisition-state callback of a start (on the worker): the
    /// number StartAcquisition gave that start; 0 before any start reported.
    std::uint64_t StartReported() const { return startReported.load(); }
    /// Queues a stop unless one is queued, has not run yet and no start was
    /// queued after it.
    void StopAcquisition() ZORVA_EXCLUDES(queueMutex);
    void BlinkDevice(unsigned int deviceIndex);
    /// Zeroes the platforms on the caller's thread, only while acquiring.
    void ZeroPlatforms() ZORVA_EXCLUDES(serviceMutex, startMutex);

    /// Longest wait of ZeroPlatforms for a queued start, ms.
    static constexpr int QueuedStartWaitMs = 2000;

private:
    void RunWorker();
    /// Hands on the library's blocks until it has none (true) or a job or the
    /// quit waits (false: the pass goes on after it).
    bool TransferAvailableBlocks();
    /// Transfers and drops the blocks waiting in the library; how many.
    int DiscardWaitingBlocks() ZORVA_REQUIRES(serviceMutex);
    void IgnoredMessage(UINT message);
    void RunNextJob();
    void PostJob(const boost::function<void()>& job);

    void RateJob(unsigned int rate);
    void GenlockJob(bool on);
    void StartJob(std::uint64_t start) ZORVA_EXCLUDES(serviceMutex, startMutex);
    void StopJob(std::uint64_t stop) ZORVA_EXCLUDES(serviceMutex);
    /// Waits until every start queued so far has run, at most QueuedStartWaitMs.
    void AwaitQueuedStarts() ZORVA_EXCLUDES(startMutex);
    void BlinkJob(unsigned int deviceIndex);
    void EnumerateDevices(DetectionCallback callback);
    void InitialiseLibrary(VDllInitInfo& info) ZORVA_REQUIRES(serviceMutex);
    void DownloadCalibrationFiles() ZORVA_REQUIRES(serviceMutex);

    /// Tells the acquisition state; call without any lock held. The copy of
    /// the callback is taken under serviceMutex.
    void TellAcquisitionState(bool acquiringNow) ZORVA_EXCLUDES(serviceMutex);
    void SetAcquiring(bool acquiringNow) ZORVA_EXCLUDES(serviceMutex);

    Mutex serviceMutex;
    std::deque<boost::function<void()>> jobQueue ZORVA_GUARDED_BY(queueMutex);
    Mutex queueMutex;
    AcquisitionStateCallback acquisitionStateCallback ZORVA_GUARDED_BY(serviceMutex);
    /// Set once, by the first registration, and kept until destruction, so the
    /// worker reads it without a lock even if a registration races with data.
    std::atomic<DataReadyCallback*> dataReadyCallback{nullptr};
    boost::barrier startBarrier{2};
    boost::shared_ptr<boost::thread> workerThread;
    DWORD workerThreadId = 0;
    std::atomic<bool> acquiring{false};
    /// Also read by the destructor once the worker has ended.
    bool initialised ZORVA_GUARDED_BY(serviceMutex) = false;
    /// A stop is queued, has not run, and no start was queued after it.
    std::atomic<bool> stopPending{false};
    /// Number of the latest stop queued: only that stop's job clears stopPending.
    std::uint64_t latestStop ZORVA_GUARDED_BY(queueMutex) = 0;
    /// Numbers of the latest start queued and the latest whose job has run.
    Mutex startMutex ZORVA_ACQUIRED_AFTER(queueMutex);
    std::uint64_t startsQueued ZORVA_GUARDED_BY(startMutex) = 0;
    std::uint64_t startsRun ZORVA_GUARDED_BY(startMutex) = 0;
    std::condition_variable_any startRan;
    std::atomic<std::uint64_t> startReported{0};
    /// Set by the destructor before it posts WM_QUIT_WORKER; any other quit is ignored.
    std::atomic<bool> quitRequested{false};
    /// Worker only: the last transfer failed (warned once per run of failures).
    bool transferFailing = false;
    MoldraDigitalDevice::IPluginHost* const host;
};

} // namespace ZORVA
