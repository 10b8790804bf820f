/// Little-endian fields of the trace format: appended to a byte vector, and
/// read through a cursor that never reads past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zorvatrace {

inline void PutU8(std::vector<unsigned char>& out, std::uint8_t v) { out.push_back(v); }

inline void PutU16(std::vector<unsigned char>& out, std::uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

inline void PutU32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void PutU64(std::vector<unsigned char>& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline void PutI32(std::vector<unsigned char>& out, std::int32_t v) { PutU32(out, static_cast<std::uint32_t>(v)); }

inline void PutF32(std::vector<unsigned char>& out, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(out, bits);
}

/// True on a little-endian machine (every one we build for); the compiler
/// folds it to a constant.
inline bool LittleEndian()
{
    const std::uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

/// Floats as their IEEE bits, little-endian: byte for byte what the library
/// handed out. On a little-endian machine that is one copy of the block, the
/// recording's whole cost on the caller's thread for a block's values.
inline void PutFloats(std::vector<unsigned char>& out, const float* values, std::size_t count)
{
    if (LittleEndian()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(values);
        out.insert(out.end(), bytes, bytes + count * 4);
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        unsigned char* p = out.data() + at + i * 4;
        p[0] = static_cast<unsigned char>(bits);
        p[1] = static_cast<unsigned char>(bits >> 8);
        p[2] = static_cast<unsigned char>(bits >> 16);
        p[3] = static_cast<unsigned char>(bits >> 24);
    }
}

inline void SetU32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

inline std::uint32_t LoadU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t LoadU64(const unsigned char* p)
{
    return static_cast<std::uint64_t>(LoadU32(p)) | static_cast<std::uint64_t>(LoadU32(p + 4)) << 32;
}

/// Reads fields from [data, data + size); every Get fails (false) instead of
/// reading past the end, and the cursor then stays where it was.
class ByteCursor
{
public:
    ByteCursor(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Left() const { return size_ - at_; }
    std::size_t Position() const { return at_; }

    bool GetU8(std::uint8_t& v)
    {
        if (Left() < 1)
            return false;
        v = data_[at_++];
        return true;
    }
    bool GetU16(std::uint16_t& v)
    {
        if (Left() < 2)
            return false;
        v = static_cast<std::uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    bool GetU32(std::uint32_t& v)
    {
        if (Left() < 4)
            return false;
        v = LoadU32(data_ + at_);
        at_ += 4;
        return true;
    }
    bool GetU64(std::uint64_t& v)
    {
        if (Left() < 8)
            return false;
        v = LoadU64(data_ + at_);
        at_ += 8;
        return true;
    }
    bool GetI32(std::int32_t& v)
    {
        std::uint32_t u = 0;
        if (!GetU32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool GetI64(std::int64_t& v)
    {
        std::uint64_t u = 0;
        if (!GetU64(u))
            return false;
        v = static_cast<std::int64_t>(u);
        return true;
    }
    bool GetF32(float& v)
    {
        std::uint32_t bits = 0;
        if (!GetU32(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool GetBytes(std::size_t n, std::string& out)
    {
        if (Left() < n)
            return false;
        out.assign(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return true;
    }
    bool GetFloats(std::size_t count, std::vector<float>& out)
    {
        if (count > Left() / 4)
            return false;
        out.resize(count);
        if (LittleEndian()) {
            std::memcpy(out.data(), data_ + at_, count * 4);
            at_ += count * 4;
            return true;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t bits = LoadU32(data_ + at_ + i * 4);
            std::memcpy(&out[i], &bits, sizeof bits);
        }
        at_ += count * 4;
        return true;
    }
    bool Skip(std::size_t n)
    {
        if (Left() < n)
            return false;
        at_ += n;
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

} // namespace zorvatrace
