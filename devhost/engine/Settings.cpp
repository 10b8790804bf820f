#include "devhost/engine/Settings.h"
#include "contract/ParameterNames.h"

#include <algorithm>

namespace zorvahost {

using MoldraDigitalDevice::IParameterValueDouble;

namespace {

const IParameterValueDouble* ThresholdSetting(const hostkit::PluginSession& session)
{
    const hostkit::Definition* shared = session.SharedDefinition();
    return shared ? shared->Value<IParameterValueDouble>(ZORVA::ParameterName::DataThreshold) : nullptr;
}

} // namespace

std::vector<std::string> OfferedRates(const hostkit::PluginSession& session)
{
    const hostkit::Definition* shared = session.SharedDefinition();
    return shared ? shared->Offered(ZORVA::ParameterName::SampleRate) : std::vector<std::string>();
}

bool RateOffered(const hostkit::PluginSession& session, const std::string& rate)
{
    const std::vector<std::string> offered = OfferedRates(session);
    return offered.empty() || std::find(offered.begin(), offered.end(), rate) != offered.end();
}

bool ThresholdLimits(const hostkit::PluginSession& session, double& minimum, double& maximum)
{
    const IParameterValueDouble* setting = ThresholdSetting(session);
    if (!setting)
        return false;
    minimum = setting->Minimum;
    maximum = setting->Maximum;
    return true;
}

bool ThresholdWithinLimits(const hostkit::PluginSession& session, double newtons, double& minimum, double& maximum)
{
    const IParameterValueDouble* setting = ThresholdSetting(session);
    if (!setting || !setting->LimitsSet)
        return true;
    minimum = setting->Minimum;
    maximum = setting->Maximum;
    return newtons >= minimum && newtons <= maximum;
}

} // namespace zorvahost
