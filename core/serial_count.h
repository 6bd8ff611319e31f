#pragma once
// The element count that leads a serialised array, little-endian: 16 bits below 0xFFFF, else 0xFFFF and
// then 32 bits.
#include <cstdint>
#include <vector>

#include "core/byte_reader.h"

inline void PutU16LE(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutSerialCount(std::vector<uint8_t>& out, uint32_t count)
{
    if (count < 0xFFFF) {
        PutU16LE(out, static_cast<uint16_t>(count));
    } else {
        PutU16LE(out, 0xFFFF);
        PutU16LE(out, static_cast<uint16_t>(count));
        PutU16LE(out, static_cast<uint16_t>(count >> 16));
    }
}

// The count, or 0 with the reader failed when the data ends first.
inline uint32_t ReadSerialCount(ByteReader& in)
{
    uint32_t count = in.U16LE();
    if (count == 0xFFFF)
        count = in.U32LE();
    return count;
}
