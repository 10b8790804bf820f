/// What the live view needs of a running session, and nothing more: the
/// plates with their definitions, outlines and origins, the shared device's
/// settings and state, the log as it comes, the pushed samples, and the
/// actions a host offers. The live loop, the frames and the server know the
/// session only through this, so another engine can stand behind it.
///
/// Threads: every member of LiveSource runs on the live loop's thread; the
/// block sink it is given is called on the plugin's threads.
#pragma once

#include "hostkit/Host.h"

#include <string>
#include <vector>

namespace zorvahost {
namespace live {

/// One plate as the page shows it.
struct PlateView
{
    std::string name;       ///< the instance name the host knows it by
    std::string definition; ///< the definition it was instantiated from
    double sizeX = 0.0;     ///< metres across (the definition's X)
    double sizeY = 0.0;     ///< metres along (Y)
    /// The plate origin from the sensor origin (ParameterA, ParameterB, ParameterAZ0), metres.
    double originA = 0.0, originB = 0.0, originZ = 0.0;
    std::string amplifier; ///< "ZDA-100 ZA100-4471, firmware 3.2.7"
    std::string platform;  ///< "Pendra-600 PEN600-10482"
    bool connected = false;
    std::string state;  ///< "armed", "acquiring", "stopped"
    int benchUnit = -1; ///< the simulated bench's unit behind it, or -1
};

/// The shared device's settings and state.
struct SharedView
{
    std::string syncMode;               ///< the setting's text
    std::vector<std::string> syncModes; ///< the texts it offers
    std::vector<std::string> syncWords; ///< --mode words, in the same order
    std::string rate;
    std::vector<std::string> rates;
    double threshold = 0.0;
    double thresholdMin = 0.0, thresholdMax = 0.0;
    std::string state; ///< "armed", "acquiring", "stopped", or "none" without a shared device
    bool rearmRequired = false;
    unsigned int armedRate = 0; ///< of the last arming as the plates declared it, datasets per second
    /// The rate the plugin last told the units (its USB-library call); 0
    /// before one. It can differ from armedRate: the host arms the plates
    /// before the shared device, which chooses the rate the units run.
    unsigned int unitRate = 0;
    bool detecting = false; ///< a detection is running
};

/// A unit of the simulated bench.
struct BenchUnitView
{
    std::string name;
    std::string identity;
    bool plugged = false;
};

struct SessionView
{
    std::string plugin; ///< the plugin's path
    std::vector<PlateView> plates;
    SharedView shared;
    bool bench = false;    ///< the simulated bench's controls are there
    std::string benchName; ///< its description
    std::vector<BenchUnitView> units;
};

enum class LineSource
{
    Plugin, ///< the plugin's log
    Host    ///< what the host did (an action, a re-arming, a detection's end)
};

struct LiveLine
{
    LineSource source = LineSource::Plugin;
    int level = 0; ///< the plugin's level; Host lines: 1, or 2 when something failed
    std::string text;
    double time = -1.0; ///< the host's clock when it came, seconds; the live loop sets it when negative
};

enum class ActionKind
{
    Zero,
    Blink, ///< `target`: a plate's name
    Rescan,
    Rate,        ///< `value`: datasets per second, one the setting offers
    Mode,        ///< `value`: a mode's setting text or --mode word
    Threshold,   ///< `number`: newtons
    PlaceWeight, ///< `target`: a bench unit's name; `number` kg (0 takes it off) at `x`, `y`
    Unplug,      ///< `target`: a bench unit's name
    Plug,
    Stop ///< ends the session
};

struct LiveAction
{
    ActionKind kind = ActionKind::Zero;
    std::string target;
    std::string value;
    double number = 0.0;
    double x = 0.0, y = 0.0;
};

/// The session's pushed blocks, on the plugin's thread: nothing may throw,
/// and nothing should take long or allocate.
class BlockSink
{
public:
    virtual ~BlockSink() = default;
    /// `plate` is the instance name (a reference valid for the session's
    /// life); `rate` the datasets per second of the arming in force (0: unknown).
    virtual void OnBlock(const std::string& plate, const hostkit::SampleBlock& block, unsigned int rate) noexcept = 0;
};

class LiveSource
{
public:
    virtual ~LiveSource() = default;
    /// The host's clock, seconds: the one the blocks are stamped with.
    virtual double Now() = 0;
    /// From now on every pushed block goes to `sink` (null: none). The sink
    /// must outlive the session's data path.
    virtual void SetBlockSink(BlockSink* sink) = 0;
    /// Reads the log and the detections since the last call, re-arms when
    /// the plugin asks, and appends what happened to `lines`.
    virtual void Tick(std::vector<LiveLine>& lines) = 0;
    virtual SessionView View() = 0;
    /// Does a user's action; false with `error` saying why not. What was
    /// done goes into `lines`.
    virtual bool Do(const LiveAction& action, std::vector<LiveLine>& lines, std::string& error) = 0;
};

} // namespace live
} // namespace zorvahost
