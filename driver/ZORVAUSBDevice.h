/// The signal conditioners' USB library (ZORVAUSBDevice.dll on Windows,
/// libZORVAUSBDevice.so elsewhere): the 30 functions the driver service calls.
///
/// Conventions: int is 32-bit signed; results the driver does not name are not
/// read. Text queries write NUL-terminated text into a caller buffer of
/// ZORVA_USB_TEXT_SIZE bytes; length and width go into two buffers of
/// ZORVA_USB_SIZE_TEXT_SIZE bytes. Once data-ready posting is enabled and a
/// thread registered, the library posts thread message ZORVA_USB_WM_DATA_READY
/// to that thread whenever a block can be fetched with fmDLLTransferFloatData.
/// A block holds 16 sample sets of 8 floats per signal conditioner in
/// device-index order (counter, Fx, Fy, Fz, Mx, My, Mz, trigger), and stays
/// valid until the next transfer call.
#pragma once

#if defined(_WIN32)
#    if defined(ZORVA_USB_BUILDING)
#        define ZORVA_USB_API extern "C" __declspec(dllexport)
#    else
#        define ZORVA_USB_API extern "C" __declspec(dllimport)
#    endif
#else
#    define ZORVA_USB_API extern "C" __attribute__((visibility("default")))
#endif

#define ZORVA_USB_TEXT_SIZE 1024
#define ZORVA_USB_SIZE_TEXT_SIZE 32
#define ZORVA_USB_CHECK_CELVO_SLOTS 16
#define ZORVA_USB_WM_DATA_READY 1133 // WM_USER + 109
#define ZORVA_USB_SAMPLES_PER_BLOCK 16
#define ZORVA_USB_FLOATS_PER_RECORD 8
/// Each unit's sample counter wraps to 0 here (2^24).
#define ZORVA_USB_COUNTER_MODULUS 16777216

// Start-up and end.
ZORVA_USB_API int fmDLLInit();
/// Non-zero once initialisation is complete.
ZORVA_USB_API int fmDLLIsDeviceInitComplete();
/// Set-up code: 0 none found, 1 same as saved, 211, 213, 214, 215, other.
ZORVA_USB_API int fmDLLSetupCheck();
ZORVA_USB_API int fmDLLSetUSBPacketSize(int size);
ZORVA_USB_API int fmBroadcastRunMode(int mode);
ZORVA_USB_API int fmDLLSetDataFormat(int format);
ZORVA_USB_API int fmDLLPostDataReadyMessages(int enable);
/// The Windows thread id that receives the data-ready messages.
ZORVA_USB_API int fmDLLPostUserThreadMessages(unsigned int threadId);
ZORVA_USB_API int fmBroadcastResetSoftware();
ZORVA_USB_API int fmDLLShutDown();

// Commands to all signal conditioners.
ZORVA_USB_API int fmBroadcastStart();
ZORVA_USB_API int fmBroadcastStop();
ZORVA_USB_API int fmBroadcastZero();
/// Datasets per second.
ZORVA_USB_API int fmBroadcastAcquisitionRate(int rate);
/// 0 or 1.
ZORVA_USB_API int fmBroadcastGenlock(int on);

// Devices, indexed 0 to count-1; the queries act on the selected one.
ZORVA_USB_API int fmDLLGetDeviceCount();
ZORVA_USB_API int fmDLLSelectDeviceIndex(int index);
ZORVA_USB_API int fmGetProductType();
ZORVA_USB_API int fmGetAmplifierModelNumber(char* text);
ZORVA_USB_API int fmGetAmplifierSerialNumber(char* text);
ZORVA_USB_API int fmGetAmplifierFirmwareVersion(char* text);
ZORVA_USB_API int fmGetPlatformModelNumber(char* text);
ZORVA_USB_API int fmGetPlatformSerialNumber(char* text);
/// Three floats: X, Y, Z origin offsets, inches.
ZORVA_USB_API int fmGetPlatformXYZOffsets(float* offsets);
/// Decimal texts, inches.
ZORVA_USB_API int fmGetPlatformLengthAndWidth(char* length, char* width);
ZORVA_USB_API int fmSetBlink();

// Calibration files of Celvo signal conditioners.
/// Writes the indices of the units not ready into the first c of 16 slots; returns c.
ZORVA_USB_API int fmBroadcastCheckCelvo(int* indices);
/// 0 started, 1 not a Celvo platform, 2 not a Celvo conditioner, 3 no file, other failed.
ZORVA_USB_API int fmCelvoDownloadCalFile(int mode);
/// 0 running, 1 complete, 3 bad version, 4 bad CRC, other failed.
ZORVA_USB_API int fmIsCelvoDownloadComplete();

// Data.
/// Non-zero when a block was delivered; its address is stored through `block`.
ZORVA_USB_API int fmDLLTransferFloatData(float** block);
