/// What a user does in a host during a capture, at a time into it (the
/// capture command's `--at SECONDS:ACTION[=TARGET]`), and on the simulated
/// bench also to the bench.
#pragma once

#include <string>

namespace zorvahost {

enum class ActionKind
{
    Rescan, ///< the ScanForHardware action of the shared device
    Zero,   ///< the BroadcastZero action of the shared device
    Blink,  ///< the BlinkAction of one plate (target: instance name or position)
    Unplug, ///< simulated bench: pull a unit's cable (target: unit name or position)
    Plug,   ///< simulated bench: plug it back
    Lose,   ///< simulated bench: the library loses its next blocks (target: how many)
    Repeat, ///< simulated bench: its next block comes again (target: how many more times)
    Fail    ///< simulated bench: its next transfers fail (target: how many)
};

/// One `--at SECONDS:ACTION[=TARGET]`.
struct TimedAction
{
    double seconds = 0.0; ///< from the start of the capture
    ActionKind kind = ActionKind::Rescan;
    std::string target;
    std::string text; ///< as the user wrote it, for messages
};

} // namespace zorvahost
