/* The simulated USB library's controls as plain C functions, for a host that
 * loads the USB library by name and must also run with the conditioners' own
 * library, which has none of them: it looks them up at run time (dlsym /
 * GetProcAddress, with the function types below) and finds them only on the
 * simulated bench. Such a host needs this header alone and links nothing of
 * the simulated library; the header is C (and C++).
 *
 * Units are named by scenario position (0 = first [unit ...] section), as in
 * SimControl.h. Every function may be called from any thread; none throws.
 * Texts are written NUL-terminated and cut to `size` bytes; the result is the
 * full length, so a caller can tell a cut text. Codes are part of this
 * interface: append, never renumber. */
#pragma once

#if defined(_WIN32)
#    if defined(ZORVA_USB_BUILDING)
#        define ZORVA_SIM_API __declspec(dllexport)
#    else
#        define ZORVA_SIM_API __declspec(dllimport)
#    endif
#else
#    define ZORVA_SIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Every fault the simulated bench makes, one code each. The transfer faults
 * last for a number of fmDLLTransferFloatData calls, the block faults for a
 * number of blocks; both end at Reset and when a scenario is loaded. A
 * faulted transfer leaves the backlog as it is and forgets the outstanding
 * data-ready message, so the next block posts again. A scenario's
 * lost_block_every is ZORVA_SIM_FAULT_LOSE_BLOCKS of one block, every so
 * many blocks. */
typedef enum ZorvaSimFault
{
    /* A transfer fault no more: calls behave normally again. */
    ZORVA_SIM_FAULT_NONE = 0,
    /* fmDLLTransferFloatData returns 1 and stores a null block. */
    ZORVA_SIM_FAULT_NULL_BLOCK = 1,
    /* fmDLLTransferFloatData returns -1 and stores a null block. */
    ZORVA_SIM_FAULT_TRANSFER_ERROR = 2,
    /* The next block is delivered again right after itself, N more times
     * (same counters, same data). */
    ZORVA_SIM_FAULT_REPEAT_BLOCK = 3,
    /* The next N blocks are lost on the way: their samples pass, the counter
     * jumps by 16 x N. */
    ZORVA_SIM_FAULT_LOSE_BLOCKS = 4,
    /* From the next block on the counter runs 16 x N samples behind (below 0
     * it wraps to 2^24 - 1) until fmDLLInit or fmBroadcastResetSoftware
     * restarts it. */
    ZORVA_SIM_FAULT_STEP_BACK = 5
} ZorvaSimFault;

/* A fault a host offers its user to make on the simulated bench: the word
 * the user writes with its count (the development host's
 * --at SECONDS:WORD=N), what N counts, what the fault does and how a host
 * reports it done; N in a text stands for the count. */
typedef struct ZorvaSimFaultAction
{
    ZorvaSimFault fault;
    const char* word;    /* "lose" */
    const char* count;   /* "BLOCKS": what N counts */
    const char* meaning; /* "how many blocks the library loses" */
    const char* effect;  /* "the library loses its next N blocks" */
    const char* report;  /* "the library loses its next N block(s)" */
} ZorvaSimFaultAction;

/* The faults a host offers, in the order it lists them. */
static const ZorvaSimFaultAction kZorvaSimFaultActions[] = {
    {ZORVA_SIM_FAULT_LOSE_BLOCKS, "lose", "BLOCKS", "how many blocks the library loses",
     "the library loses its next N blocks", "the library loses its next N block(s)"},
    {ZORVA_SIM_FAULT_REPEAT_BLOCK, "repeat", "TIMES", "how many more times its next block comes",
     "its next block comes N more times", "the library's next block comes N more time(s)"},
    {ZORVA_SIM_FAULT_TRANSFER_ERROR, "fail", "CALLS", "how many transfers fail",
     "its next N transfers fail (return -1)", "the library's next N transfer(s) fail"},
};

/* When a replay posts the recorded messages (ZorvaSim_LoadTrace). */
typedef enum ZorvaSimReplayPace
{
    ZORVA_SIM_PACE_AUTO = 0,      /* immediate while virtual time is on, recorded otherwise */
    ZORVA_SIM_PACE_IMMEDIATE = 1, /* right after the call they followed in the recording */
    ZORVA_SIM_PACE_RECORDED = 2   /* as long after that call as in the recording */
} ZorvaSimReplayPace;

/* The counts of a replay (ZorvaSim_ReplayProgress). */
typedef struct ZorvaSimReplayProgress
{
    unsigned long long calls;             /* calls answered */
    unsigned long long recordedCalls;     /* recorded calls answered or passed over */
    unsigned long long blocks;            /* blocks handed out */
    unsigned long long messages;          /* messages posted */
    unsigned long long timingDifferences; /* polls more or fewer than recorded */
    unsigned long long mismatches;
    unsigned long long nextCall; /* the record number of the recorded call the replay waits for next */
    int finished;                /* 1 once every recorded call was answered */
} ZorvaSimReplayProgress;

/* The bench. */

/* Number of units in the scenario, plugged or not. */
ZORVA_SIM_API int ZorvaSim_UnitCount(void);
/* The unit's section name ("[unit NAME]"); -1 for an unknown unit. */
ZORVA_SIM_API int ZorvaSim_UnitName(int unit, char* buffer, int size);
/* "amplifier serial / platform model platform serial"; -1 for an unknown unit. */
ZORVA_SIM_API int ZorvaSim_UnitIdentity(int unit, char* buffer, int size);
/* 1 plugged, 0 unplugged, -1 unknown unit. */
ZORVA_SIM_API int ZorvaSim_UnitPlugged(int unit);
/* Plugs (1) or unplugs (0) a unit; the library sees it at the next fmDLLInit.
 * 1 done, 0 unknown unit. */
ZORVA_SIM_API int ZorvaSim_SetPlugged(int unit, int plugged);
/* Where the scenario came from and its name: "file <path>: <name>". */
ZORVA_SIM_API int ZorvaSim_ScenarioDescription(char* buffer, int size);
/* Stepped mode on (1) or free-running (0), as zorvasim::SetMode. */
ZORVA_SIM_API void ZorvaSim_SetStepped(int stepped);
/* Stepped mode: up to `count` blocks now (zorvasim::DeliverBlocks); the number made. */
ZORVA_SIM_API int ZorvaSim_DeliverBlocks(int count);

/* What a user does on the bench, for a host that asks for it (a self-test):
 * puts a mass of `kg` at the point (x, y) of the unit's plate (metres, plate
 * frame), as load `weight` with the unit's offset, noise and drift; `kg` 0
 * or less takes whatever is on the plate off (load `none`). From the next
 * sample. 1 done, 0 unknown unit or a point off the plate. */
ZORVA_SIM_API int ZorvaSim_PlaceWeight(int unit, double kg, double x, double y);
/* A pulse on every unit's trigger input: active from the next sample the
 * hardware measures, for `samples` samples (at least 1). The number of units. */
ZORVA_SIM_API int ZorvaSim_PulseTrigger(int samples);

/* Faults. */

/* Any fault by its code (ZorvaSimFault): a transfer fault for the next
 * `count` transfers (every one from now on when negative), a block fault for
 * `count` blocks (at least 1). 1 done, 0 for an unknown code or a block
 * fault's count below 1. */
ZORVA_SIM_API int ZorvaSim_InjectFault(int fault, int count);
/* The transfer faults alone, by the same codes (ZORVA_SIM_FAULT_NONE,
 * _NULL_BLOCK, _TRANSFER_ERROR: 0, 1, 2). 1 done, 0 for another code. */
ZORVA_SIM_API int ZorvaSim_SetTransferFault(int fault, int calls);
/* The block faults alone, counted from ZORVA_SIM_FAULT_REPEAT_BLOCK: 0
 * repeat, 1 lose, 2 step back. 1 done, 0 for another code or a count below 1. */
ZORVA_SIM_API int ZorvaSim_InjectBlockFault(int fault, int blocks);

/* Replay of a field trace (ReplayControl.h). */

/* Loads a trace to answer every call from, its messages posted at `pace`
 * (ZorvaSimReplayPace). 1 loaded; 0 with `error` saying why. */
ZORVA_SIM_API int ZorvaSim_LoadTrace(const char* path, int pace, char* error, int size);
ZORVA_SIM_API void ZorvaSim_EndReplay(void);
/* Mismatches so far; -1 when no trace is loaded. */
ZORVA_SIM_API int ZorvaSim_ReplayMismatchCount(void);
/* The text of mismatch `index` (as on stderr); -1 for none. */
ZORVA_SIM_API int ZorvaSim_ReplayMismatch(int index, char* buffer, int size);
/* 1 once every recorded call was answered, 0 before, -1 without a trace. */
ZORVA_SIM_API int ZorvaSim_ReplayFinished(void);
/* Fills `out`; 1 done, 0 without a trace (or a null `out`). */
ZORVA_SIM_API int ZorvaSim_ReplayProgress(ZorvaSimReplayProgress* out);

/* The functions' types, for the lookups. */
typedef int (*ZorvaSimUnitCountFn)(void);
typedef int (*ZorvaSimUnitTextFn)(int unit, char* buffer, int size); /* UnitName, UnitIdentity */
typedef int (*ZorvaSimUnitPluggedFn)(int unit);
typedef int (*ZorvaSimSetPluggedFn)(int unit, int plugged);
typedef int (*ZorvaSimScenarioDescriptionFn)(char* buffer, int size);
typedef void (*ZorvaSimSetSteppedFn)(int stepped);
typedef int (*ZorvaSimDeliverBlocksFn)(int count);
typedef int (*ZorvaSimPlaceWeightFn)(int unit, double kg, double x, double y);
typedef int (*ZorvaSimPulseTriggerFn)(int samples);
typedef int (*ZorvaSimFaultFn)(int fault, int count); /* InjectFault, SetTransferFault, InjectBlockFault */
typedef int (*ZorvaSimLoadTraceFn)(const char* path, int pace, char* error, int size);
typedef void (*ZorvaSimEndReplayFn)(void);
typedef int (*ZorvaSimReplayMismatchCountFn)(void);
typedef int (*ZorvaSimReplayMismatchFn)(int index, char* buffer, int size);
typedef int (*ZorvaSimReplayFinishedFn)(void);
typedef int (*ZorvaSimReplayProgressFn)(ZorvaSimReplayProgress* out);

#ifdef __cplusplus
} /* extern "C" */
#endif
