// The parameter value byte block: ReadFrom of each value class on any block,
// and CopyTo round trips. The first input byte picks the class, the rest is
// the block. A block a class accepts must come back from CopyTo as it was
// (bool bytes, which ReadFrom takes as "not zero", come back as 0 or 1), and
// copying the value into a fresh one of its class must give the same block
// and an equal value, while every other class refuses it.
#include "FuzzSupport.h"

#include "values/ParameterValues.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace MoldraDigitalDevice;
using namespace zorvafuzz;

namespace {

const int ClassCount = 5;

std::unique_ptr<IParameterValue> NewValue(int which)
{
    switch (which) {
    case 0: return std::make_unique<IParameterValueBool>();
    case 1: return std::make_unique<IParameterValueDouble>();
    case 2: return std::make_unique<IParameterValueString>();
    case 3: return std::make_unique<IParameterValueEnum>();
    default: return std::make_unique<IParameterValueAction>();
    }
}

std::uint32_t LengthAt(const Bytes& block, std::size_t position)
{
    std::uint32_t length = 0;
    std::memcpy(&length, &block[position], sizeof length);
    return length;
}

/// The block as CopyTo writes it: every bool byte (a bool's value, the three
/// flags, LimitsSet) 0 or 1. Only for a block the class accepted.
Bytes Canonical(int which, Bytes block)
{
    std::vector<std::size_t> bools;
    std::size_t flags = 0;
    switch (which) {
    case 0:
        bools.push_back(4);
        flags = 5;
        break;
    case 1:
        flags = 12;
        bools.push_back(31);
        break;
    case 2:
    case 3: flags = 8 + LengthAt(block, 4); break;
    default: flags = 8; break;
    }
    for (std::size_t i = 0; i < 3; ++i)
        bools.push_back(flags + i);
    for (std::size_t position : bools)
        block[position] = block[position] != 0 ? 1 : 0;
    return block;
}

/// A double holding a NaN equals nothing, itself included.
bool HoldsNaN(IParameterValue& value)
{
    IParameterValueDouble* number = dynamic_cast<IParameterValueDouble*>(&value);
    return number && (std::isnan(number->Value) || std::isnan(number->Minimum) || std::isnan(number->Maximum));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int which = data[0] % ClassCount;
    const Bytes block(data + 1, data + size);

    std::unique_ptr<IParameterValue> value = NewValue(which);
    const bool accepted =
        value->ReadFrom(block.empty() ? nullptr : block.data(), static_cast<unsigned int>(block.size()));
    if (!accepted)
        return 0;
    Require(!block.empty(), "an empty block is refused");

    BlockCapture capture;
    Require(value->CopyTo(capture), "CopyTo into a plain receiver");
    Require(capture.block == Canonical(which, block), "CopyTo gives back the block that was read");

    std::unique_ptr<IParameterValue> copy = NewValue(which);
    Require(value->CopyTo(*copy), "CopyTo into a fresh value of the class");
    BlockCapture again;
    Require(copy->CopyTo(again), "CopyTo of the copy");
    Require(again.block == capture.block, "the copy gives the same block");
    Require(copy->IsEqual(*value) == !HoldsNaN(*value), "the copy is equal (a NaN equals nothing)");
    Require(copy->GetType() == value->GetType(), "same type code");

    for (int other = 0; other < ClassCount; ++other) {
        if (other == which)
            continue;
        std::unique_ptr<IParameterValue> stranger = NewValue(other);
        Require(!value->CopyTo(*stranger), "another class refuses the block");
        Require(!stranger->IsEqual(*value), "another class is never equal");
    }
    return 0;
}
