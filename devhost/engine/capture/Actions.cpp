#include "devhost/engine/capture/Actions.h"

#include "devhost/engine/Text.h"

#include <deque>

namespace zorvahost {

namespace {

/// The simulated library's own row for a fault: its word, its count and texts.
const ZorvaSimFaultAction& LibraryFault(ZorvaSimFault fault)
{
    for (const ZorvaSimFaultAction& action : kZorvaSimFaultActions) {
        if (action.fault == fault)
            return action;
    }
    return kZorvaSimFaultActions[0]; // not reached: every fault below has a row
}

/// The rows of the library's faults, with their texts kept for the process's life.
class FaultRows
{
public:
    ActionSpec Row(ActionKind kind, ZorvaSimFault fault)
    {
        const ZorvaSimFaultAction& action = LibraryFault(fault);
        const std::string word = action.word;
        const std::string listed = word + "=" + action.count;
        // "the library loses its next N block(s)": the count goes where N stands.
        const std::string report = action.report;
        const std::size_t n = report.find(" N ");
        faults_.push_back(FaultSpec{fault, Keep(report.substr(0, n + 1)), Keep(report.substr(n + 2))});
        return ActionSpec{kind,
                          action.word,
                          Keep(word + "=N"),
                          Keep(listed),
                          Keep(listed + " (" + action.meaning + ", 1 to 1000)"),
                          action.effect,
                          true,
                          &faults_.back()};
    }

private:
    const char* Keep(std::string text)
    {
        texts_.push_back(std::move(text));
        return texts_.back().c_str();
    }

    std::deque<std::string> texts_; // a deque: what it holds never moves
    std::deque<FaultSpec> faults_;
};

std::vector<ActionSpec> MakeActionSpecs()
{
    static FaultRows faults;
    // In ActionKind's order (ActionSpecOf).
    return {
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
        faults.Row(ActionKind::Lose, ZORVA_SIM_FAULT_LOSE_BLOCKS),
        faults.Row(ActionKind::Repeat, ZORVA_SIM_FAULT_REPEAT_BLOCK),
        faults.Row(ActionKind::Fail, ZORVA_SIM_FAULT_TRANSFER_ERROR),
    };
}

} // namespace

const std::vector<ActionSpec>& ActionSpecs()
{
    static const std::vector<ActionSpec> specs = MakeActionSpecs();
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
