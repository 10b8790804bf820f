// What the fuzz targets share: drive C in a temporary folder of the process,
// configuration files written into it, checks that end the run, and a value
// that captures a parameter value's byte block.
#pragma once

#include "config/ConfigRead.h"
#include "values/ParameterValues.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvafuzz {

/// Maps drive C to a new temporary folder with ZORVA\CFG in it (in /dev/shm
/// where there is one), once per process; the folder is removed when the
/// process exits.
void UseTemporaryDrive();

/// Writes C:\ZORVA\CFG\<name> with exactly these bytes (UseTemporaryDrive first).
void WriteConfigFile(const std::string& name, const std::uint8_t* data, std::size_t size);

/// Removes C:\ZORVA\CFG\<name>, if it is there.
void RemoveConfigFile(const std::string& name);

/// Ends the run with `what` when `condition` is false: libFuzzer then keeps
/// the input as a crash.
void Require(bool condition, const char* what);

/// Writes the input as C:\ZORVA\CFG\<name> and has `reader` read it; requires
/// what every read promises (Read or Failed, an error text exactly when it
/// fails) and returns the result.
ZORVA::ReaderResult ReadAsConfigFile(ZORVA::ConfigRead& reader, const std::string& name, const std::uint8_t* data,
                                     std::size_t size);

/// The text's bytes (each wide character of a reader is one byte).
std::string Narrow(const std::wstring& text);

typedef std::vector<unsigned char> Bytes;

/// A parameter value that only keeps the byte block another value copies
/// into it: the block CopyTo builds.
class BlockCapture final : public MoldraDigitalDevice::IParameterValue
{
    ZORVA_HOST_OBJECT(BlockCapture)

public:
    Bytes block;

    int GetType() override { return -1; }
    bool CopyTo(IParameterValue&) override { return false; }
    bool ReadFrom(const unsigned char* data, unsigned int size) override
    {
        block.assign(data, data + size);
        return true;
    }
    void SetFlagA(bool) override {}
    bool GetFlagA() override { return false; }
    void SetFlagB(bool) override {}
    bool GetFlagB() override { return false; }
    void SetFlagC(bool) override {}
    bool GetFlagC() override { return false; }
    bool IsEqual(IParameterValue&) override { return false; }
};

} // namespace zorvafuzz
