// What the shared device makes of a detection: the supported rates and
// trigger markers, one plate device per signal conditioner / platform pair
// (reused across detections), each matched to a plate definition.
#include "VSharedConfigDevice.h"
#include "VZORVATrelDevice.h"

#include "definitions/CustomDefinitions.h"
#include "host/HostResultHandle.h"

#include <boost/format.hpp>

#include <cmath>
#include <memory>

namespace ZORVA {

using namespace MoldraDigitalDevice;

namespace {

struct ProductType
{
    int code;
    int triggerMarker;
    std::vector<unsigned int> excludedRates;
};

const ProductType ProductTypes[] = {
    {100, 1, {}},
    {300, 1, {2000, 1800, 1500}},
    {400, 0, {2000, 1800, 1500, 1200, 900, 800, 450, 400, 360, 240, 225, 180, 90, 80, 75, 45, 40, 20}},
};

} // namespace

int MatchPlateModel(VZORVADriverService::VDeviceInfo info)
{
    for (int row = 0; row < StandardPlateModelCount; ++row) {
        const StandardPlateModel& model = StandardPlateModels[row];
        if (info.platformModel.find(model.name) != std::string::npos ||
            (model.otherText && info.platformModel.find(model.otherText) != std::string::npos))
            return row + 1;
    }
    // Millimetres.
    const double l = PlatformInches(info.platformLength) * 25.4;
    const double w = PlatformInches(info.platformWidth) * 25.4;
    for (int row = 0; row < StandardPlateModelCount; ++row) {
        const StandardPlateModel& model = StandardPlateModels[row];
        if (model.matchY == 0.0)
            continue;
        // 1 % of the measured size, not of the table's; NaN matches nothing.
        if (std::fabs(l - model.matchY) < std::fabs(0.01 * l) && std::fabs(w - model.matchX) < std::fabs(0.01 * w))
            return row + 1;
    }
    return 0;
}

int VSharedConfigDevice::UpdateSupportedRates(int productType)
{
    if (productType == 0) {
        std::copy(StandardRates, StandardRates + StandardRateCount, supportedRates);
        supportedRateCount = static_cast<int>(StandardRateCount);
        triggerMarkers.clear();
        return 0;
    }
    for (const ProductType& type : ProductTypes) {
        if (type.code != productType)
            continue;
        triggerMarkers.push_back(type.triggerMarker);
        int kept = 0;
        for (int i = 0; i < supportedRateCount; ++i) {
            const unsigned int rate = supportedRates[i];
            if (std::find(type.excludedRates.begin(), type.excludedRates.end(), rate) == type.excludedRates.end())
                supportedRates[kept++] = rate;
        }
        supportedRateCount = kept;
        return 0;
    }
    return -1;
}

void VSharedConfigDevice::OnDetectionComplete(const VZORVADriverService::VDllInitInfo& info,
                                              const std::vector<VZORVADriverService::VDeviceInfo>& devices)
{
    boost::mutex::scoped_lock lock(mutex);
    if (info.status == 2) {
        if (host)
            host->Log((boost::format("Unsuccessful ZORVA device detection loop: %s") % info.message).str().c_str(), 3);
        detectionSucceeded = false;
    } else {
        if (host)
            host->Log((boost::format("Successful ZORVA device detection loop: %s") % info.message).str().c_str(), 1);
        detectionSucceeded = true;
    }

    UpdateSupportedRates(0);
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates) {
        knownPlates[plate->IdentityKey()] = plate;
        plate->SetConnected(false);
    }
    plates.clear();

    deviceCount = static_cast<unsigned int>(devices.size());
    if (host)
        host->Log((boost::format("Detected %d ZORVA digital devices") % deviceCount).str().c_str(), 1);

    for (const VZORVADriverService::VDeviceInfo& d : devices) {
        // Product type 0 would reset the rate list and markers: it is no
        // supported unit either.
        if (d.productType == 0 || UpdateSupportedRates(d.productType) < 0) {
            if (host)
                host->Log((boost::format("Detected unsupported device type %d, skipping...)") % d.productType)
                              .str()
                              .c_str(),
                          2);
            continue;
        }
        const std::pair<std::string, std::string> key(d.amplifierModel + d.amplifierSerial,
                                                      d.platformModel + d.platformSerial);
        auto known = knownPlates.find(key);
        if (known != knownPlates.end()) {
            // Mode and threshold changes reach only the plates of the latest
            // detection: one that was away meanwhile takes the current ones.
            known->second->SetSyncMode(syncMode);
            known->second->SetDataThreshold(definition.DataThreshold.Value.GetValue());
            plates.push_back(known->second);
        } else {
            const unsigned int rate = RateSetting(sampleRate);
            const int model = MatchPlateModel(d);
            std::unique_ptr<VZORVAGenericPlateDefinition> plateDefinition =
                model > 0 ? CreateStandardPlateDefinition(model)
                          : FindCustomDefinition(d.platformModel, d.platformLength, d.platformWidth);
            if (!plateDefinition)
                plateDefinition.reset(new VZORVAGenericPlateDefinition());
            boost::shared_ptr<VZORVATrelDevice> plate(
                new VZORVATrelDevice(rate, d, plateDefinition.get(), host, driver));
            // A new plate follows the current mode and threshold from the start.
            plate->SetSyncMode(syncMode);
            plate->SetDataThreshold(definition.DataThreshold.Value.GetValue());
            plates.push_back(plate);
            if (instantiator) {
                const VZORVAGenericPlateDefinition& used = plate->Definition();
                HostResultHandle result(instantiator->InstantiateDevice(used.Manufacturer.c_str(), used.Name.c_str(),
                                                                        used.Version.c_str(), plate->Name().c_str(),
                                                                        plate.get()));
                const char* message = result.Message();
                if (message && host)
                    host->Log((boost::format("Host returned \"%s\" when trying to instantiate device %s") % message %
                               d.platformModel)
                                  .str()
                                  .c_str(),
                              2);
            }
        }
        plates.back()->SetConnected(true);
        plates.back()->SetDeviceIndex(d.deviceIndex);
    }

    rearmRequired = true;
    if (services)
        services->NotifyChanged();
}

} // namespace ZORVA
