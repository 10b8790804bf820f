/// Plain C entry points to a few controls of the simulated USB library, for a
/// host that loads the USB library by name and must also run with the
/// conditioners' own library, which has none of them: it looks them up at run
/// time (dlsym / GetProcAddress) and finds them only on the simulated bench.
///
/// Units are named by scenario position (0 = first [unit ...] section), as in
/// SimControl.h. Every function may be called from any thread; none throws.
/// Texts are written NUL-terminated and cut to `size` bytes; the result is
/// the full length, so a caller can tell a cut text.
#pragma once

#include "simusb/SimControl.h" // ZORVA_SIM_API

extern "C" {

/// Number of units in the scenario, plugged or not.
ZORVA_SIM_API int ZorvaSim_UnitCount();
/// The unit's section name ("[unit NAME]"); -1 for an unknown unit.
ZORVA_SIM_API int ZorvaSim_UnitName(int unit, char* buffer, int size);
/// "amplifier serial / platform model platform serial"; -1 for an unknown unit.
ZORVA_SIM_API int ZorvaSim_UnitIdentity(int unit, char* buffer, int size);
/// 1 plugged, 0 unplugged, -1 unknown unit.
ZORVA_SIM_API int ZorvaSim_UnitPlugged(int unit);
/// Plugs (1) or unplugs (0) a unit; the library sees it at the next fmDLLInit.
/// 1 done, 0 unknown unit.
ZORVA_SIM_API int ZorvaSim_SetPlugged(int unit, int plugged);
/// Where the scenario came from and its name: "file <path>: <name>".
ZORVA_SIM_API int ZorvaSim_ScenarioDescription(char* buffer, int size);
/// Stepped mode on (1) or free-running (0), as zorvasim::SetMode.
ZORVA_SIM_API void ZorvaSim_SetStepped(int stepped);
/// Stepped mode: up to `count` blocks now (zorvasim::DeliverBlocks); the number made.
ZORVA_SIM_API int ZorvaSim_DeliverBlocks(int count);
/// zorvasim::InjectBlockFault: `fault` 0 Repeat, 1 Skip, 2 StepBack. 1 done,
/// 0 for an unknown fault or a count below 1.
ZORVA_SIM_API int ZorvaSim_InjectBlockFault(int fault, int blocks);
/// zorvasim::SetTransferFault: `fault` 0 None, 1 NullBlock, 2 Error, for the
/// next `calls` transfers (every one when negative). 1 done, 0 for an unknown fault.
ZORVA_SIM_API int ZorvaSim_SetTransferFault(int fault, int calls);
/// What a user does on the bench, for a host that asks for it (a self-test):
/// puts a mass of `kg` at the point (x, y) of the unit's plate (metres, plate
/// frame), as load `weight` with the unit's offset, noise and drift; `kg` 0
/// or less takes whatever is on the plate off (load `none`). From the next
/// sample. 1 done, 0 unknown unit or a point off the plate.
ZORVA_SIM_API int ZorvaSim_PlaceWeight(int unit, double kg, double x, double y);
/// A pulse on every unit's trigger input: active from the next sample the
/// hardware measures, for `samples` samples (at least 1). The number of units.
ZORVA_SIM_API int ZorvaSim_PulseTrigger(int samples);

} // extern "C"
