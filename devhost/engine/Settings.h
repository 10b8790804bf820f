/// The shared device's settings a command sets, checked as a host's settings
/// panel checks them: against what the plugin registered for them.
#pragma once

#include "hostkit/Session.h"

#include <string>
#include <vector>

namespace zorvahost {

/// The acquisition rates the SampleRate setting offers (decimal texts, as the
/// plugin registered them); none when it registered no such setting.
std::vector<std::string> OfferedRates(const hostkit::PluginSession& session);
/// True when the SampleRate setting offers `rate`, or offers nothing to check it against.
bool RateOffered(const hostkit::PluginSession& session, const std::string& rate);
/// False when the Fz threshold setting has limits and `newtons` lies outside
/// them; `minimum` and `maximum` are then its limits.
bool ThresholdWithinLimits(const hostkit::PluginSession& session, double newtons, double& minimum, double& maximum);
/// The Fz threshold setting's limits, or false when it states none.
bool ThresholdLimits(const hostkit::PluginSession& session, double& minimum, double& maximum);

} // namespace zorvahost
