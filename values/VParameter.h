/// One parameter of a definition: its texts, value and the plugin's id.
#pragma once

#include "ParameterValues.h"

#include <cstdint>
#include <string>

namespace ZORVA {

/// V is one of the five concrete value classes. Registered with AddParameter
/// as (Name, DisplayName, Description, Group, DefinitionFlag, &Value, Id).
template <typename V>
struct VParameter
{
    std::string Name;
    std::string DisplayName;
    std::string Description;
    std::string Group;
    bool DefinitionFlag = true;
    V Value;
    /// Reported back by the host when the parameter changes; ids may be shared.
    std::uint64_t Id = 0;
};

} // namespace ZORVA
