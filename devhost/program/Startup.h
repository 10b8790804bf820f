/// The one start-up of every command that runs the plugin, and what it
/// prints: the recorder in front of the USB library when --record-trace asks
/// for it, the plugin loaded, the bench's controls looked up, the replay
/// started when the command replays a trace; then the session's header and
/// the detection.
#pragma once

#include "devhost/engine/CommandSession.h"
#include "devhost/engine/fieldtrace/Replay.h"
#include "devhost/program/CommandLine.h"

#include <string>

namespace zorvahost {

/// The plugin the options name, or the one beside the program.
std::string PluginPath(const Options& options);

/// Starts `parts` as the options and `replay` (null: none) say. False, the
/// reason printed, when a step fails.
bool StartSession(CommandSession& parts, const Options& options, const ReplayPlan* replay);

/// "Plugin PATH (API version N)", then what answers the plugin's library
/// calls: the replay, or the simulated bench.
void PrintSessionHeader(const CommandSession& parts, const ReplayPlan* replay);

/// "Detecting the hardware...", then the shared device handed to the plugin
/// and its detection awaited. False, the reason printed, when there is none.
bool DetectHardware(CommandSession& parts, hostkit::DetectionReport& report);

/// After the plugin's shut-down: ends the trace and says what it holds.
/// False (said why) when it was not written whole; true when none was open.
bool FinishRecording(CommandSession& parts);

} // namespace zorvahost
