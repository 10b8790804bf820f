#include "ExpectedDefinitions.h"

#include <sstream>

namespace zorvatest {

const std::vector<PlateModel>& StandardModels()
{
    static const std::vector<PlateModel> models = {{"Pendra", 0.4, 0.6},
                                                   {"Veskin", 0.464, 0.508},
                                                   {"Morrit", 0.464, 0.508},
                                                   {"Talvo", 0.464, 0.508},
                                                   {"Brisen", 0.498, 0.498, false},
                                                   {"Quillo", 0.6, 0.6},
                                                   {"Derran", 0.6, 0.9},
                                                   {"Hallon", 0.6, 1.2},
                                                   {"Fennik", 0.603, 0.9},
                                                   {"Gorvin", 0.9, 0.9},
                                                   {"Jastra", 1.2, 1.2},
                                                   {"Nubbet", 0.61, 0.711},
                                                   {"Oskel", 0.61, 0.61},
                                                   {"Rimsa", 0.61, 1.219},
                                                   {"Sundel", 0.25, 0.5},
                                                   {"Sidebyside", 0.325, 1.373},
                                                   {"TreadMill", 0.622, 0.718},
                                                   {"Yarrik", 0.405, 1.04},
                                                   {"Zibbet", 0.762, 1.016}};
    return models;
}

std::string DoubleText(double value, const char* flags)
{
    std::ostringstream text;
    text.precision(17);
    text << "Double(" << value << " flags " << flags << ")";
    return text.str();
}

std::vector<std::string> PlateCalls(const std::string& name, double x, double y, bool includeActions)
{
    std::vector<std::string> calls = {
        "BeginDefinition(\"ZORVA\", \"" + name +
            "\", \"   \", \"This device represents an ZORVA force plate/signal conditioner pair\", "
            "\"ForcePlate\", \"\", \"\")",
        "AddParameter(\"Connected\", \"Connected\", \"Indicates whether the device is connected\", \"Status\", "
        "false, Bool(false flags 110), 0)",
        "AddOutput(\"Force\", 13)",
        "AddChannel(\"Fx\")",
        "AddChannel(\"Fy\")",
        "AddChannel(\"Fz\")",
        "AddOutput(\"Moment\", 14)",
        "AddChannel(\"Mx\")",
        "AddChannel(\"My\")",
        "AddChannel(\"Mz\")",
        "AddOutput(\"CoP\", 1)",
        "AddChannel(\"Cx\")",
        "AddChannel(\"Cy\")",
        "AddChannel(\"Cz\")",
        "AddParameter(\"StandardDimension_X\", \"X\", \"Length of force plate in the X Axis (meters)\", "
        "\"Dimensions\", true, " +
            DoubleText(x) + ", 6)",
        "AddParameter(\"StandardDimension_Y\", \"Y\", \"Length of force plate in the Y Axis (meters)\", "
        "\"Dimensions\", true, " +
            DoubleText(y) + ", 0)",
        "AddParameter(\"ParameterA\", \"a\", \"X displacement from sensor origin to force plate origin.\", "
        "\"Origin\", true, Double(0 flags 110), 6)",
        "AddParameter(\"ParameterB\", \"b\", \"Y displacement from sensor origin to force plate origin.\", "
        "\"Origin\", true, Double(0 flags 110), 6)",
        "AddParameter(\"ParameterAZ0\", \"az0\", \"Negative Z displacement from sensor origin to force plate "
        "surface.\", \"Origin\", true, Double(0 flags 110), 6)",
        "AddParameter(\"AmplifierModel\", \"Amplifier Model\", \"Amplifier Model\", \"Amplifier\", true, "
        "String(\"\" flags 110), 1)",
        "AddParameter(\"AmplifierSerial\", \"Amplifier Serial\", \"Amplifier Serial\", \"Amplifier\", true, "
        "String(\"\" flags 110), 2)",
        "AddParameter(\"PlatformModel\", \"Platform Model\", \"Platform Model\", \"Platform\", true, "
        "String(\"\" flags 110), 3)",
        "AddParameter(\"PlatformSerial\", \"Platform Serial\", \"Platform Serial\", \"Platform\", true, "
        "String(\"\" flags 110), 4)",
        "AddParameter(\"FirmwareVersion\", \"Firmware Version\", \"Firmware Version\", \"Amplifier\", true, "
        "String(\"\" flags 110), 0)",
    };
    if (includeActions)
        calls.push_back("AddParameter(\"BlinkAction\", \"Blink\", \"Make the selected signal conditioner blink. "
                        "The amber light will blink for ten seconds. \", \"Amplifier\", true, "
                        "Action(0 flags 000), 5)");
    calls.push_back("AddSyncPort(\"Sync Port\")");
    calls.push_back("EndDefinition()");
    return calls;
}

std::vector<std::string> SharedConfigCalls()
{
    return {
        "BeginDefinition(\"ZORVA\", \"Digital device common settings\", \"V1.13\", \"This is a placeholder device "
        "controlling settings common to all ZORVA devices\", \"Shared Configuration\", \"Add ZORVA Trel/Celvo "
        "devices\", \"\")",
        "AddParameter(\"SampleRate\", \"Acquisition rate\", \"Broadcasts an acquisition rate, in datasets per "
        "second, to all connected signal conditioners.\", \"Device collection\", true, Enum(\"1000\" of 34 flags "
        "000), 1)",
        "AddParameter(\"SyncMode\", \"Synchronization mode\", \"Synchronization mode\", \"Device collection\", "
        "true, Enum(\"Software trigger\" of 3 flags 000), 0)",
        "AddParameter(\"DataThreshold\", \"Fz Threshold\", \"Fz limit below which data are not collected.\", "
        "\"Device collection\", true, Double(20 flags 000 limits 0..50), 2)",
        "AddParameter(\"BroadcastZero\", \"Zero digital platforms\", \"Send a 'Zero' command to all of the signal "
        "conditioners. Calling this function doesn't interrupt data acquisition.\", \"Actions\", true, Action(0 "
        "flags 000), 3)",
        "AddParameter(\"ScanForHardware\", \"Detect ZORVA digital devices\", \"Search for additional signal "
        "conditioners\", \"Plug-in\", true, Action(0 flags 000), 5)",
        "EndDefinition()",
    };
}

} // namespace zorvatest
