/// What the self-test is asked to do: the rates, the known weights, the
/// hardware trigger (the selftest command's options).
#pragma once

#include "hostkit/Session.h"

#include <string>
#include <vector>

namespace zorvahost {

/// `--weight PLATE=KG[@X,Y]`: a known mass the user puts on a plate.
struct WeightSpec
{
    std::string plate; ///< instance name or position from 0
    double kg = 0.0;
    bool atGiven = false;
    double x = 0.0, y = 0.0; ///< metres from the plate's centre, plate axes
    std::string text;        ///< as written, for messages
};

struct SelfTestOptions
{
    /// Datasets per second to capture at; empty: every rate the units support.
    std::vector<unsigned int> rates;
    std::vector<WeightSpec> weights;
    bool hardwareTrigger = false;
    /// Every log line of the plugin as it is read (--verbose); null: none.
    hostkit::PluginSession::LogPrinter logPrinter;
};

} // namespace zorvahost
