/// Typed parameter values exchanged with the host.
///
/// The host reads and writes these objects only through their virtual
/// operations; a value's whole content travels as a byte block (CopyTo builds
/// one, ReadFrom reads one). Block layout, little-endian, no padding:
///   type code (int32) | value | FlagA, FlagB, FlagC (1 byte each) | extras
/// value: bool 1 byte; action uint32; double 8 bytes; string and enum a uint32
/// length n and n bytes without terminator. Extras: double Minimum, Maximum
/// (8 bytes each) and LimitsSet (1 byte); enum a uint32 count, then each entry
/// as a uint32 length and its bytes.
#pragma once

#include "host/HostAbi.h"

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace MoldraDigitalDevice {

/// Growable buffer a value serialises into.
typedef std::vector<unsigned char> ByteBuffer;

/// Bounds-checked reader over a byte block; every Read fails rather than overrun.
class BlockReader
{
public:
    BlockReader(const unsigned char* data, std::size_t size) : blockData(data), blockSize(size) {}

    std::size_t Remaining() const { return blockSize - readPosition; }
    bool AtEnd() const { return readPosition == blockSize; }

    bool ReadBytes(void* out, std::size_t n)
    {
        if (n > Remaining())
            return false;
        if (n > 0)
            std::memcpy(out, blockData + readPosition, n);
        readPosition += n;
        return true;
    }
    bool ReadBool(bool& out)
    {
        unsigned char byte = 0;
        if (!ReadBytes(&byte, 1))
            return false;
        out = byte != 0;
        return true;
    }
    bool ReadInt32(std::int32_t& out) { return ReadBytes(&out, sizeof out); }
    bool ReadUInt32(std::uint32_t& out) { return ReadBytes(&out, sizeof out); }
    bool ReadDouble(double& out) { return ReadBytes(&out, sizeof out); }
    bool ReadText(std::string& out)
    {
        std::uint32_t length = 0;
        if (!ReadUInt32(length) || length > Remaining())
            return false;
        out.assign(reinterpret_cast<const char*>(blockData + readPosition), length);
        readPosition += length;
        return true;
    }

private:
    const unsigned char* blockData;
    std::size_t blockSize;
    std::size_t readPosition = 0;
};

namespace ByteWriter {
inline void Bytes(ByteBuffer& buffer, const void* data, std::size_t n)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    buffer.insert(buffer.end(), bytes, bytes + n);
}
inline void Bool(ByteBuffer& buffer, bool value) { buffer.push_back(value ? 1 : 0); }
inline void Int32(ByteBuffer& buffer, std::int32_t value) { Bytes(buffer, &value, sizeof value); }
inline void UInt32(ByteBuffer& buffer, std::uint32_t value) { Bytes(buffer, &value, sizeof value); }
inline void Double(ByteBuffer& buffer, double value) { Bytes(buffer, &value, sizeof value); }
inline void Text(ByteBuffer& buffer, const std::string& text)
{
    UInt32(buffer, static_cast<std::uint32_t>(text.size()));
    Bytes(buffer, text.data(), text.size());
}
} // namespace ByteWriter

/// Type codes carried in the first four bytes of a block.
enum ParameterType
{
    ParameterTypeAction = 0,
    ParameterTypeBool = 1,
    ParameterTypeDouble = 3,
    ParameterTypeString = 4,
    ParameterTypeEnum = 7
};

/// What a host calls: the destructor slot (its layout: host/HostAbi.h), then
/// the operations below, in this slot order. None of them throws.
class IParameterValue
{
    ZORVA_HOST_INTERFACE_DESTRUCTOR(IParameterValue)

public:
    virtual int GetType() = 0;
    /// Serialises this value and has `target` read it; false when target refuses.
    virtual bool CopyTo(IParameterValue& target) = 0;
    /// Replaces this value from a block; false for any malformed block. Fields
    /// read before the failing step keep their new content.
    virtual bool ReadFrom(const unsigned char* data, unsigned int size) = 0;
    virtual void SetFlagA(bool flag) = 0;
    virtual bool GetFlagA() = 0;
    virtual void SetFlagB(bool flag) = 0;
    virtual bool GetFlagB() = 0;
    virtual void SetFlagC(bool flag) = 0;
    virtual bool GetFlagC() = 0;
    /// True when `other` holds a value of this class with equal content.
    virtual bool IsEqual(IParameterValue& other) = 0;
};

namespace detail {
inline void WriteValue(ByteBuffer& b, const bool& v) { ByteWriter::Bool(b, v); }
inline void WriteValue(ByteBuffer& b, const double& v) { ByteWriter::Double(b, v); }
inline void WriteValue(ByteBuffer& b, const unsigned int& v) { ByteWriter::UInt32(b, v); }
inline void WriteValue(ByteBuffer& b, const std::string& v) { ByteWriter::Text(b, v); }
inline bool ReadValue(BlockReader& r, bool& v) { return r.ReadBool(v); }
inline bool ReadValue(BlockReader& r, double& v) { return r.ReadDouble(v); }
inline bool ReadValue(BlockReader& r, unsigned int& v)
{
    std::uint32_t raw = 0;
    if (!r.ReadUInt32(raw))
        return false;
    v = raw;
    return true;
}
inline bool ReadValue(BlockReader& r, std::string& v) { return r.ReadText(v); }
} // namespace detail

template <typename T>
class IParameterValueTemplate : public IParameterValue
{
public:
    int GetType() override { return Type; }

    /// The host calls it: out of memory (or a target that throws) is a failed
    /// copy, never an exception in the host's process.
    bool CopyTo(IParameterValue& target) override
    {
        try {
            ByteBuffer buffer;
            ByteWriter::Int32(buffer, Type);
            detail::WriteValue(buffer, Value);
            ByteWriter::Bool(buffer, FlagA);
            ByteWriter::Bool(buffer, FlagB);
            ByteWriter::Bool(buffer, FlagC);
            WriteExtra(buffer);
            return target.ReadFrom(buffer.data(), static_cast<unsigned int>(buffer.size()));
        } catch (...) {
            return false;
        }
    }

    /// Out of memory for a text or a list is a malformed block, not an exception.
    bool ReadFrom(const unsigned char* data, unsigned int size) override
    {
        if (data == nullptr || size == 0)
            return false;
        try {
            BlockReader reader(data, size);
            std::int32_t type = 0;
            if (!reader.ReadInt32(type) || type != Type)
                return false;
            if (!detail::ReadValue(reader, Value))
                return false;
            if (!reader.ReadBool(FlagA) || !reader.ReadBool(FlagB) || !reader.ReadBool(FlagC))
                return false;
            if (!ReadExtra(reader))
                return false;
            return reader.AtEnd();
        } catch (...) {
            return false;
        }
    }

    void SetFlagA(bool flag) override { FlagA = flag; }
    bool GetFlagA() override { return FlagA; }
    void SetFlagB(bool flag) override { FlagB = flag; }
    bool GetFlagB() override { return FlagB; }
    void SetFlagC(bool flag) override { FlagC = flag; }
    bool GetFlagC() override { return FlagC; }

    /// No check against limits or enumeration values.
    virtual void SetValue(const T& value) { Value = value; }
    virtual T GetValue() { return Value; }
    /// Appends the class's extra fields; the base has none.
    virtual void WriteExtra(ByteBuffer& /*buffer*/) {}
    /// Reads the class's extra fields; the base has none.
    virtual bool ReadExtra(BlockReader& /*reader*/) { return true; }

    int Type;
    T Value;
    bool FlagA = false;
    bool FlagB = false;
    bool FlagC = false;

protected:
    IParameterValueTemplate(int type, const T& value) : Type(type), Value(value) {}

    /// Common part of IsEqual: `other` copied into `local` (a default value of
    /// this class) and the base fields compared.
    bool BaseEqual(IParameterValueTemplate& local, IParameterValue& other)
    {
        if (!other.CopyTo(local))
            return false;
        return local.Type == Type && local.Value == Value && local.FlagA == FlagA && local.FlagB == FlagB &&
               local.FlagC == FlagC;
    }
};

class IParameterValueBool final : public IParameterValueTemplate<bool>
{
    ZORVA_HOST_OBJECT(IParameterValueBool)

public:
    IParameterValueBool() : IParameterValueTemplate<bool>(ParameterTypeBool, false) {}
    bool IsEqual(IParameterValue& other) override;
};

class IParameterValueDouble final : public IParameterValueTemplate<double>
{
    ZORVA_HOST_OBJECT(IParameterValueDouble)

public:
    IParameterValueDouble() : IParameterValueTemplate<double>(ParameterTypeDouble, 0.0) {}
    bool IsEqual(IParameterValue& other) override;
    void WriteExtra(ByteBuffer& buffer) override;
    bool ReadExtra(BlockReader& reader) override;

    double Minimum = -DBL_MAX;
    double Maximum = DBL_MAX;
    bool LimitsSet = false;
};

class IParameterValueString final : public IParameterValueTemplate<std::string>
{
    ZORVA_HOST_OBJECT(IParameterValueString)

public:
    IParameterValueString() : IParameterValueTemplate<std::string>(ParameterTypeString, std::string()) {}
    bool IsEqual(IParameterValue& other) override;
};

class IParameterValueEnum final : public IParameterValueTemplate<std::string>
{
    ZORVA_HOST_OBJECT(IParameterValueEnum)

public:
    IParameterValueEnum() : IParameterValueTemplate<std::string>(ParameterTypeEnum, std::string()) {}
    bool IsEqual(IParameterValue& other) override;
    void WriteExtra(ByteBuffer& buffer) override;
    /// A count that the remaining bytes cannot hold (each entry takes at least
    /// its 4-byte length) is refused before EnumValues is resized.
    bool ReadExtra(BlockReader& reader) override;
    virtual void SetEnumValues(const std::vector<std::string>& values);

    std::vector<std::string> EnumValues;
};

class IParameterValueAction final : public IParameterValueTemplate<unsigned int>
{
    ZORVA_HOST_OBJECT(IParameterValueAction)

public:
    IParameterValueAction() : IParameterValueTemplate<unsigned int>(ParameterTypeAction, 0u) {}
    bool IsEqual(IParameterValue& other) override;
};

} // namespace MoldraDigitalDevice
