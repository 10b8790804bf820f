// What the shared device makes of a detection: the supported rates and
// trigger markers, one plate device per signal conditioner / platform pair
// (reused across detections), each matched to a plate definition.
#include "VSharedConfigDevice.h"
#include "VZORVATrelDevice.h"

#include "definitions/PlateMatching.h"
#include "contract/ProductTypes.h"
#include "host/HostResultHandle.h"
#include "devices/Guarded.h"
#include "contract/Log.h"
#include "contract/LogLines.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace ZORVA {

using namespace MoldraDigitalDevice;

PlatformIdentity PlatformOf(const VZORVADriverService::VDeviceInfo& info)
{
    return PlatformIdentity{info.platformModel, info.platformLength, info.platformWidth};
}

int MatchPlateModel(VZORVADriverService::VDeviceInfo info)
{
    const PlateMatch match = MatchPlate(PlatformOf(info), std::vector<CustomPlate>());
    return match.source == PlateSource::StandardModel ? match.standardModel : 0;
}

int VSharedConfigDevice::UpdateSupportedRates(int productType)
{
    if (productType == 0) {
        std::copy(StandardRates, StandardRates + StandardRateCount, supportedRates);
        supportedRateCount = static_cast<int>(StandardRateCount);
        triggerMarkers.clear();
        return 0;
    }
    const ProductType* type = FindProductType(productType);
    if (!type)
        return -1;
    triggerMarkers.push_back(type->triggerMarker);
    int kept = 0;
    for (int i = 0; i < supportedRateCount; ++i) {
        const unsigned int rate = supportedRates[i];
        if (type->Runs(rate))
            supportedRates[kept++] = rate;
    }
    supportedRateCount = kept;
    return 0;
}

void VSharedConfigDevice::OnDetectionComplete(const VZORVADriverService::VDllInitInfo& info,
                                              const std::vector<VZORVADriverService::VDeviceInfo>& devices)
{
    Guarded(host, "OnDetectionComplete", [&] {
        HostCalls later;
        {
            MutexLock lock(mutex);
            DetectionComplete(info, devices, later);
        }
        // Unlocked: the host may attach a new plate inside InstantiateDevice
        // or read the state inside NotifyChanged. One call that fails does
        // not keep the host from the others.
        for (const boost::function<void()>& call : later)
            Guarded(host, "OnDetectionComplete", [&call] { call(); });
    });
}

void VSharedConfigDevice::DetectionComplete(const VZORVADriverService::VDllInitInfo& info,
                                            const std::vector<VZORVADriverService::VDeviceInfo>& devices,
                                            HostCalls& later)
{
    if (info.status == DetectionStatus::TimedOut) {
        LogLine(host, LogLineId::DetectionFailed, info.message);
        detectionSucceeded = false;
    } else {
        LogLine(host, LogLineId::DetectionSucceeded, info.message);
        detectionSucceeded = true;
    }

    UpdateSupportedRates(0);
    // Every plate is in knownPlates from its creation on.
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates) {
        plate->MarkConnected(false);
        VZORVATrelDevice* const tell = plate.get();
        later.push_back([tell] { tell->PublishConnected(); });
    }
    plates.clear();

    deviceCount = static_cast<unsigned int>(devices.size());
    LogLine(host, LogLineId::DevicesDetected, deviceCount);

    std::map<IdentityKey, int> firstWithKey;
    // Read once, for the first new plate of this detection.
    std::vector<CustomPlate> customPlates;
    bool customPlatesRead = false;
    for (const VZORVADriverService::VDeviceInfo& d : devices) {
        // Product type 0 would reset the rate list and markers: it is no
        // supported unit either.
        if (d.productType == 0 || UpdateSupportedRates(d.productType) < 0) {
            LogLine(host, LogLineId::UnsupportedDevice, d.productType);
            continue;
        }
        const IdentityKey key = UnitIdentityKey(d.amplifierModel, d.amplifierSerial, d.platformModel, d.platformSerial);
        const auto first = firstWithKey.insert(std::make_pair(key, d.deviceIndex));
        if (!first.second)
            Log(host, LogLevel::Warning,
                boost::format("Devices %d and %d report the same identity; their plates follow the detection order") %
                    first.first->second % d.deviceIndex);

        // Units with equal identities: each takes the first of their plates
        // that no unit of this detection took yet, so none shares or steals one.
        boost::shared_ptr<VZORVATrelDevice> known;
        const auto range = knownPlates.equal_range(key);
        for (auto it = range.first; it != range.second && !known; ++it) {
            if (std::find(plates.begin(), plates.end(), it->second) == plates.end())
                known = it->second;
        }
        if (known) {
            // Mode and threshold changes reach only the plates of the latest
            // detection: one that was away meanwhile takes the current ones.
            known->SetSyncMode(syncMode);
            known->SetDataThreshold(dataThreshold);
            plates.push_back(known);
        } else {
            const unsigned int rate = RateSetting(sampleRate);
            if (!customPlatesRead) {
                customPlates = CustomPlatesInUse();
                customPlatesRead = true;
            }
            const std::unique_ptr<VZORVAGenericPlateDefinition> plateDefinition =
                CreateMatchedDefinition(MatchPlate(PlatformOf(d), customPlates), customPlates);
            boost::shared_ptr<VZORVATrelDevice> plate(
                new VZORVATrelDevice(rate, d, plateDefinition.get(), host, driver, &gate));
            // A new plate follows the current mode and threshold from the start.
            plate->SetSyncMode(syncMode);
            plate->SetDataThreshold(dataThreshold);
            plates.push_back(plate);
            // Owned from now on until this device goes: the host will hold it.
            knownPlates.insert(std::make_pair(key, plate));
            if (IDeviceInstantiator* const to = instantiator) {
                IPluginHost* const log = host;
                const std::string platformModel = d.platformModel;
                VZORVATrelDevice* const device = plate.get();
                later.push_back([to, log, device, platformModel] {
                    const VZORVAGenericPlateDefinition& used = device->Definition();
                    HostResultHandle result(to->InstantiateDevice(used.Manufacturer.c_str(), used.Name.c_str(),
                                                                  used.Version.c_str(), device->Name().c_str(),
                                                                  device));
                    const char* message = result.Message();
                    if (message)
                        LogLine(log, LogLineId::InstantiationRefused, message, platformModel);
                });
            }
        }
        // "Connected" after the instantiation, where the host has attached
        // the plate or will: either way the host ends with it connected.
        VZORVATrelDevice* const found = plates.back().get();
        const bool reused = static_cast<bool>(known);
        if (reused)
            found->MarkConnected(true);
        later.push_back([found, reused] {
            if (reused)
                found->PublishConnected();
            else
                found->SetConnected(true);
        });
        found->SetDeviceIndex(d.deviceIndex);
    }

    // Room for every plate's samples of a block, made here so the data path
    // allocates nothing; only the worker runs both.
    pushes.resize(plates.size());
    rearmRequired = true;
    if (services) {
        IDeviceHost* const notify = services;
        later.push_back([notify] { notify->NotifyChanged(); });
    }
}

} // namespace ZORVA
