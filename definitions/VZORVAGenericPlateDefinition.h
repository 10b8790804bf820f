/// Force-plate definitions: one class for every plate, differing only in name
/// and dimensions, plus the nineteen standard models.
#pragma once

#include "IDeviceDefinition.h"
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

#define ZORVA_PLATE_MODEL(ClassName, ModelName, X, Y)                                                          \
    class ClassName : public VZORVAGenericPlateDefinition                                                      \
    {                                                                                                          \
    public:                                                                                                    \
        ClassName() : VZORVAGenericPlateDefinition(ModelName, X, Y) {}                                         \
    };

ZORVA_PLATE_MODEL(VZORVA_Pendra_PlateDefinition, "Pendra", 0.4, 0.6)
ZORVA_PLATE_MODEL(VZORVA_Veskin_PlateDefinition, "Veskin", 0.464, 0.508)
ZORVA_PLATE_MODEL(VZORVA_Morrit_PlateDefinition, "Morrit", 0.464, 0.508)
ZORVA_PLATE_MODEL(VZORVA_Talvo_PlateDefinition, "Talvo", 0.464, 0.508)
ZORVA_PLATE_MODEL(VZORVA_Brisen_PlateDefinition, "Brisen", 0.498, 0.498)
ZORVA_PLATE_MODEL(VZORVA_Quillo_PlateDefinition, "Quillo", 0.6, 0.6)
ZORVA_PLATE_MODEL(VZORVA_Derran_PlateDefinition, "Derran", 0.6, 0.9)
ZORVA_PLATE_MODEL(VZORVA_Hallon_PlateDefinition, "Hallon", 0.6, 1.2)
ZORVA_PLATE_MODEL(VZORVA_Fennik_PlateDefinition, "Fennik", 0.603, 0.9)
ZORVA_PLATE_MODEL(VZORVA_Gorvin_PlateDefinition, "Gorvin", 0.9, 0.9)
ZORVA_PLATE_MODEL(VZORVA_Jastra_PlateDefinition, "Jastra", 1.2, 1.2)
ZORVA_PLATE_MODEL(VZORVA_Nubbet_PlateDefinition, "Nubbet", 0.61, 0.711)
ZORVA_PLATE_MODEL(VZORVA_Oskel_PlateDefinition, "Oskel", 0.61, 0.61)
ZORVA_PLATE_MODEL(VZORVA_Rimsa_PlateDefinition, "Rimsa", 0.61, 1.219)
ZORVA_PLATE_MODEL(VZORVA_Sundel_PlateDefinition, "Sundel", 0.25, 0.5)
ZORVA_PLATE_MODEL(VZORVA_Sidebyside_PlateDefinition, "Sidebyside", 0.325, 1.373)
ZORVA_PLATE_MODEL(VZORVA_Treadmill_PlateDefinition, "TreadMill", 0.622, 0.718)
ZORVA_PLATE_MODEL(VZORVA_Yarrik_PlateDefinition, "Yarrik", 0.405, 1.04)
ZORVA_PLATE_MODEL(VZORVA_Zibbet_PlateDefinition, "Zibbet", 0.762, 1.016)

#undef ZORVA_PLATE_MODEL

/// Number of standard plate models; model indices run from 1 to this.
const int StandardPlateModelCount = 19;

/// A new definition of standard model `modelIndex` (1 to 19), or null.
std::unique_ptr<VZORVAGenericPlateDefinition> CreateStandardPlateDefinition(int modelIndex);

} // namespace ZORVA
