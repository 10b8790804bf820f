// A parameter value that only keeps the byte block another value copies into
// it: what a test (or a fuzz target) needs to see the block CopyTo builds.
#pragma once

#include "values/ParameterValues.h"

#include <new>
#include <vector>

namespace zorvatest {

typedef std::vector<unsigned char> Bytes;

class BlockCapture final : public MoldraDigitalDevice::IParameterValue
{
    ZORVA_HOST_OBJECT(BlockCapture)

public:
    Bytes block;
    /// Runs out of memory while it reads the next block.
    bool exhausted = false;

    int GetType() override { return -1; }
    bool CopyTo(IParameterValue&) override { return false; }
    bool ReadFrom(const unsigned char* data, unsigned int size) override
    {
        if (exhausted)
            throw std::bad_alloc();
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

} // namespace zorvatest
