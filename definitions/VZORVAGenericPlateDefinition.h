/// Force-plate definitions: one class for every plate, differing only in name
/// and dimensions, plus the standard models (StandardPlateModels.h).
#pragma once

#include "IDeviceDefinition.h"
#include "StandardPlateModels.h"
#include "values/VParameter.h"

#include <memory>
#include <string>

namespace ZORVA {

/// The nine stored parameters of a plate definition; a plate device keeps its
/// live identity and origin values in its own copy.
class VGenericPlateParameterHolder
{
public:
    VGenericPlateParameterHolder();

    VParameter<MoldraDigitalDevice::IParameterValueString> FirmwareVersion;
    VParameter<MoldraDigitalDevice::IParameterValueString> AmplifierModel;
    VParameter<MoldraDigitalDevice::IParameterValueString> AmplifierSerial;
    VParameter<MoldraDigitalDevice::IParameterValueString> PlatformModel;
    VParameter<MoldraDigitalDevice::IParameterValueString> PlatformSerial;
    VParameter<MoldraDigitalDevice::IParameterValueAction> BlinkAction;
    /// Origin offsets, metres.
    VParameter<MoldraDigitalDevice::IParameterValueDouble> ParameterA;
    VParameter<MoldraDigitalDevice::IParameterValueDouble> ParameterB;
    VParameter<MoldraDigitalDevice::IParameterValueDouble> ParameterAZ0;
};

class VZORVAGenericPlateDefinition : public IDeviceDefinition, public VGenericPlateParameterHolder
{
public:
    VZORVAGenericPlateDefinition();
    VZORVAGenericPlateDefinition(const VZORVAGenericPlateDefinition&) = default;
    VZORVAGenericPlateDefinition& operator=(const VZORVAGenericPlateDefinition&) = default;
    ~VZORVAGenericPlateDefinition() override {}

    void Describe(MoldraDigitalDevice::IDefinitionRegistry* registry, bool includeActions) override;

    std::string Description;
    std::string Manufacturer;
    std::string Version;
    std::string SyncPort;
    std::string Name;
    /// Metres.
    double DimensionX;
    double DimensionY;

protected:
    VZORVAGenericPlateDefinition(const char* name, double dimensionX, double dimensionY);
};

/// The per-model classes, one per row of the standard model table: each
/// differs from the generic plate only in its name and dimensions.
#define ZORVA_PLATE_MODEL_CLASS(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX)                                   \
    class VZORVA_##Tag##_PlateDefinition : public VZORVAGenericPlateDefinition                                         \
    {                                                                                                                  \
    public:                                                                                                            \
        VZORVA_##Tag##_PlateDefinition() : VZORVAGenericPlateDefinition(Name, X, Y) {}                                 \
    };
ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL_CLASS)
#undef ZORVA_PLATE_MODEL_CLASS

/// A new definition of standard model `modelIndex` (1 to 19), or null.
std::unique_ptr<VZORVAGenericPlateDefinition> CreateStandardPlateDefinition(int modelIndex);

} // namespace ZORVA
