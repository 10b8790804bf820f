/// What a user does in a host during a capture, at a time into it (the
/// capture command's `--at SECONDS:ACTION[=TARGET]`), and on the simulated
/// bench also to the bench. Each action is one row of ActionSpecs(): the
/// command line reads it and lists it in its help from there, the capture
/// does it from there.
#pragma once

#include "devhost/engine/BenchControl.h"

#include <string>
#include <vector>

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

/// What a fault action makes the simulated library do, its target the count
/// (a row of the library's kZorvaSimFaultActions).
struct FaultSpec
{
    ZorvaSimFault fault;
    /// What the library does then, around the count: "the library loses its next " N " block(s)".
    const char* before;
    const char* after;
};

/// Everything about one action.
struct ActionSpec
{
    ActionKind kind;
    const char* name;       ///< as written after the time: "blink"
    const char* usage;      ///< in the help: "blink=PLATE"
    const char* listed;     ///< in the list of the actions a message gives: "lose=BLOCKS"
    const char* targetHelp; ///< what its target must be: "blink=PLATE (a plate's ...)"; "" for none
    const char* help;       ///< in the help after the usage; a line break continues under it
    bool benchOnly;         ///< on the simulated bench only
    /// A fault of the library's (its target a count, 1 to 1000), or null.
    const FaultSpec* fault;

    bool NeedsTarget() const { return *targetHelp != '\0'; }
    bool Counted() const { return fault != nullptr; }
};

/// Every action, in the order the help lists them (those of a host first).
const std::vector<ActionSpec>& ActionSpecs();
const ActionSpec& ActionSpecOf(ActionKind kind);
/// The action with this name, or null.
const ActionSpec* FindAction(const std::string& name);

/// The --at option's help: every action with its usage and text.
std::string ActionsHelp();
/// "rescan, zero, blink=PLATE, ... and fail=CALLS", for a message.
std::string ActionList();
/// "the library loses its next 3 block(s)": what a fault action does, with its count.
std::string FaultText(const FaultSpec& fault, const std::string& count);

} // namespace zorvahost
