// The registry calls a plate or the shared configuration definition must make,
// written out from the published tables, so the tests compare whole sequences.
#pragma once

#include <string>
#include <vector>

namespace zorvatest {

struct PlateModel
{
    const char* name;
    double x;            ///< metres
    double y;            ///< metres
    bool actions = true; ///< registered with the blink action
};

/// The standard models in registration order, written out independently of
/// the plugin's table (definitions/StandardPlateModels.h): a new row there
/// needs its expected values here.
const std::vector<PlateModel>& StandardModels();

/// "Double(0.40000000000000002 flags 110)" as the recording host prints it.
std::string DoubleText(double value, const char* flags = "110");

/// Every call of a plate definition's Describe, in order.
std::vector<std::string> PlateCalls(const std::string& name, double x, double y, bool includeActions);

/// Every call of the shared configuration definition's Describe, in order.
std::vector<std::string> SharedConfigCalls();

} // namespace zorvatest
