/* A host that knows the simulated library only by its file name and the C
 * controls' header, as one that must also run on the conditioners' own
 * library does: built as C from SimControlC.h alone and linked with nothing of
 * the library (it is not loaded before this program loads it), it loads the
 * library by name, finds the controls and uses them, fault codes and the
 * table of a host's fault actions included. Exit code 0 when every check
 * holds; each failure is printed. */
#include "simusb/SimControlC.h"

#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#    include <windows.h>
static const char* const kLibrary = "ZORVAUSBDevice.dll";
static void* AlreadyLoaded(void) { return (void*)GetModuleHandleA(kLibrary); }
static void* LoadByName(void) { return (void*)LoadLibraryA(kLibrary); }
static void* Symbol(void* library, const char* name) { return (void*)GetProcAddress((HMODULE)library, name); }
#else
#    include <dlfcn.h>
static const char* const kLibrary = "libZORVAUSBDevice.so";
static void* AlreadyLoaded(void) { return dlopen(kLibrary, RTLD_NOW | RTLD_NOLOAD); }
static void* LoadByName(void) { return dlopen(kLibrary, RTLD_NOW); }
static void* Symbol(void* library, const char* name) { return dlsym(library, name); }
#endif

static int failures = 0;

static void Check(int holds, const char* what)
{
    if (!holds) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

/* An object pointer to a function pointer, as dlsym's callers must. */
#define LOOKUP(type, library, name) ((type)(size_t)Symbol(library, name))

int main(void)
{
    void* library;
    ZorvaSimUnitCountFn unitCount;
    ZorvaSimUnitTextFn unitName;
    ZorvaSimScenarioDescriptionFn description;
    ZorvaSimFaultFn injectFault, setTransferFault, injectBlockFault;
    ZorvaSimReplayProgressFn replayProgress;
    int (*transfer)(float**);
    float* block = NULL;
    char name[4];
    char text[512];
    ZorvaSimReplayProgress progress;
    size_t i, j;

    Check(AlreadyLoaded() == NULL, "Load_HeaderOnlyClient_LibraryNotLinked");
    library = LoadByName();
    Check(library != NULL, "Load_ByFileName_Loads");
    if (!library)
        return 1;

    unitCount = LOOKUP(ZorvaSimUnitCountFn, library, "ZorvaSim_UnitCount");
    unitName = LOOKUP(ZorvaSimUnitTextFn, library, "ZorvaSim_UnitName");
    description = LOOKUP(ZorvaSimScenarioDescriptionFn, library, "ZorvaSim_ScenarioDescription");
    injectFault = LOOKUP(ZorvaSimFaultFn, library, "ZorvaSim_InjectFault");
    setTransferFault = LOOKUP(ZorvaSimFaultFn, library, "ZorvaSim_SetTransferFault");
    injectBlockFault = LOOKUP(ZorvaSimFaultFn, library, "ZorvaSim_InjectBlockFault");
    replayProgress = LOOKUP(ZorvaSimReplayProgressFn, library, "ZorvaSim_ReplayProgress");
    transfer = LOOKUP(int (*)(float**), library, "fmDLLTransferFloatData");
    Check(unitCount && unitName && description && injectFault && setTransferFault && injectBlockFault &&
              replayProgress && transfer,
          "Lookup_EveryControlOfTheHeader_Found");
    if (failures)
        return 1;

    /* The bench: a unit's name cut to the buffer, its full length returned. */
    Check(unitCount() > 0, "UnitCount_BuiltInOrNamedBench_HasUnits");
    Check(unitName(0, name, (int)sizeof name) >= 1 && strlen(name) < sizeof name, "UnitName_SmallBuffer_CutAndEnded");
    Check(unitName(-1, name, (int)sizeof name) == -1, "UnitName_UnknownUnit_MinusOne");
    Check(description(text, (int)sizeof text) > 0 && text[0] != '\0', "ScenarioDescription_Bench_Described");

    /* Fault codes of the header reach the library with their meaning: a
     * transfer error makes the next transfer return -1, then none fails. */
    Check(injectFault(ZORVA_SIM_FAULT_TRANSFER_ERROR, 1) == 1, "InjectFault_TransferError_Done");
    Check(transfer(&block) == -1 && block == NULL, "InjectFault_TransferError_NextTransferFails");
    Check(transfer(&block) == 0, "InjectFault_TransferErrorForOneCall_OnlyOneFails");
    Check(injectFault(ZORVA_SIM_FAULT_STEP_BACK + 1, 1) == 0, "InjectFault_UnknownCode_Refused");
    Check(injectFault(-1, 1) == 0, "InjectFault_NegativeCode_Refused");
    Check(injectFault(ZORVA_SIM_FAULT_LOSE_BLOCKS, 0) == 0, "InjectFault_BlockFaultOfNoBlock_Refused");
    /* The older controls keep their codes. */
    Check(setTransferFault(ZORVA_SIM_FAULT_NULL_BLOCK, 1) == 1, "SetTransferFault_NullBlock_Done");
    Check(transfer(&block) == 1 && block == NULL, "SetTransferFault_NullBlock_OneWithoutABlock");
    Check(setTransferFault(ZORVA_SIM_FAULT_REPEAT_BLOCK, 1) == 0, "SetTransferFault_BlockFault_Refused");
    Check(injectBlockFault(ZORVA_SIM_FAULT_STEP_BACK - ZORVA_SIM_FAULT_REPEAT_BLOCK + 1, 1) == 0,
          "InjectBlockFault_BeyondItsCodes_Refused");

    /* The fault actions a host offers: each its own word, a fault the library knows. */
    for (i = 0; i < sizeof kZorvaSimFaultActions / sizeof kZorvaSimFaultActions[0]; ++i) {
        const ZorvaSimFaultAction* action = &kZorvaSimFaultActions[i];
        Check(action->fault > ZORVA_SIM_FAULT_NONE && action->fault <= ZORVA_SIM_FAULT_STEP_BACK,
              "FaultActions_EachFault_AFaultCode");
        Check(action->word[0] && action->count[0] && action->meaning[0] && strstr(action->effect, "N") != NULL &&
                  strstr(action->report, "N") != NULL,
              "FaultActions_EachAction_Worded");
        for (j = 0; j < i; ++j)
            Check(strcmp(action->word, kZorvaSimFaultActions[j].word) != 0, "FaultActions_Words_Unique");
    }

    Check(replayProgress(&progress) == 0, "ReplayProgress_NoTrace_Zero");
    if (failures == 0)
        printf("the C controls work from their header alone\n");
    return failures == 0 ? 0 : 1;
}
