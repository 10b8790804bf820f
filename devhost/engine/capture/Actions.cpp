#include "devhost/engine/capture/Actions.h"

#include "devhost/engine/Text.h"

namespace zorvahost {

namespace {

const FaultSpec kLose{BenchFault::BlockSkip, "the library loses its next ", " block(s)"};
const FaultSpec kRepeat{BenchFault::BlockRepeat, "the library's next block comes ", " more time(s)"};
const FaultSpec kFail{BenchFault::TransferError, "the library's next ", " transfer(s) fail"};

} // namespace

const std::vector<ActionSpec>& ActionSpecs()
{
    // In ActionKind's order (ActionSpecOf).
    static const std::vector<ActionSpec> specs = {
        {ActionKind::Rescan, "rescan", "rescan", "rescan", "", "detect the hardware again", false, nullptr},
        {ActionKind::Zero, "zero", "zero", "zero", "", "zero all plates", false, nullptr},
        {ActionKind::Blink, "blink", "blink=PLATE", "blink=PLATE",
         "blink=PLATE (a plate's instance name or its position, from 0)",
         "blink a plate's amplifier (instance name or\nposition from 0)", false, nullptr},
        {ActionKind::Unplug, "unplug", "unplug=UNIT", "unplug=UNIT",
         "unplug=UNIT (a bench unit's name or its position, from 0)",
         "pull a unit's cable (name or position from 0),\nthen rescan, as the library sees it only then", true,
         nullptr},
        {ActionKind::Plug, "plug", "plug=UNIT", "plug=UNIT", "plug=UNIT (a bench unit's name or its position, from 0)",
         "plug it back in, then rescan", true, nullptr},
        {ActionKind::Lose, "lose", "lose=N", "lose=BLOCKS",
         "lose=BLOCKS (how many blocks the library loses, 1 to 1000)", "the library loses its next N blocks", true,
         &kLose},
        {ActionKind::Repeat, "repeat", "repeat=N", "repeat=TIMES",
         "repeat=TIMES (how many more times its next block comes, 1 to 1000)", "its next block comes N more times",
         true, &kRepeat},
        {ActionKind::Fail, "fail", "fail=N", "fail=CALLS", "fail=CALLS (how many transfers fail, 1 to 1000)",
         "its next N transfers fail (return -1)", true, &kFail},
    };
    return specs;
}

const ActionSpec& ActionSpecOf(ActionKind kind) { return ActionSpecs()[static_cast<std::size_t>(kind)]; }

const ActionSpec* FindAction(const std::string& name)
{
    for (const ActionSpec& spec : ActionSpecs()) {
        if (name == spec.name)
            return &spec;
    }
    return nullptr;
}

std::string ActionsHelp()
{
    std::string text = "what a user does in a host, at that time into the capture:\n";
    bool bench = false;
    for (const ActionSpec& spec : ActionSpecs()) {
        if (spec.benchOnly && !bench) {
            text += "on the simulated bench also:\n";
            bench = true;
        }
        text += "  " + Pad(spec.usage, 13) + " ";
        for (const char* c = spec.help; *c; ++c)
            text += *c == '\n' ? "\n" + std::string(16, ' ') : std::string(1, *c);
        text += "\n";
    }
    return text + "Repeat --at for several actions. The host re-arms whenever the\nplugin asks for it.";
}

std::string ActionList()
{
    const std::vector<ActionSpec>& specs = ActionSpecs();
    std::string list;
    for (std::size_t i = 0; i < specs.size(); ++i)
        list += (i == 0 ? "" : i + 1 == specs.size() ? " and " : ", ") + std::string(specs[i].listed);
    return list;
}

std::string FaultText(const FaultSpec& fault, const std::string& count) { return fault.before + count + fault.after; }

} // namespace zorvahost
