#pragma once
// Bounds-checked reading of font data: a read past the end fails (and latches the failure), never faults.
#include <cstddef>
#include <cstdint>
#include <cstring>

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}

    size_t Size() const { return m_size; }
    size_t Pos() const { return m_pos; }
    size_t Remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
    bool Ok() const { return m_ok; }
    const uint8_t* Data() const { return m_data; }

    // True when [offset, offset + length) lies inside the data (no overflow).
    bool Has(size_t offset, size_t length) const { return offset <= m_size && length <= m_size - offset; }

    bool Seek(size_t offset) { return Check(offset <= m_size) && (m_pos = offset, true); }
    bool Skip(size_t count) { return Check(count <= Remaining()) && (m_pos += count, true); }

    // A reader over [offset, offset + length) of this one; an empty, failed reader when out of range.
    ByteReader Sub(size_t offset, size_t length) const
    {
        if (!Has(offset, length)) {
            ByteReader failed;
            failed.m_ok = false;
            return failed;
        }
        return ByteReader(m_data + offset, length);
    }

    uint8_t U8() { return Check(Remaining() >= 1) ? m_data[m_pos++] : 0; }
    int8_t I8() { return static_cast<int8_t>(U8()); }
    uint16_t U16BE() { return static_cast<uint16_t>(Big(2)); }
    int16_t I16BE() { return static_cast<int16_t>(U16BE()); }
    uint32_t U32BE() { return static_cast<uint32_t>(Big(4)); }
    int32_t I32BE() { return static_cast<int32_t>(U32BE()); }
    uint16_t U16LE() { return static_cast<uint16_t>(Little(2)); }
    int16_t I16LE() { return static_cast<int16_t>(U16LE()); }
    uint32_t U32LE() { return static_cast<uint32_t>(Little(4)); }
    int32_t I32LE() { return static_cast<int32_t>(U32LE()); }

    // Copies count bytes; on failure the target is zeroed.
    bool Bytes(void* out, size_t count)
    {
        if (!Check(count <= Remaining())) {
            if (out && count)
                std::memset(out, 0, count);
            return false;
        }
        if (count)
            std::memcpy(out, m_data + m_pos, count);
        m_pos += count;
        return true;
    }

    // Reads at an absolute offset without moving.
    uint8_t U8At(size_t offset) const { return Has(offset, 1) ? m_data[offset] : 0; }
    uint16_t U16BEAt(size_t offset) const { return Has(offset, 2) ? static_cast<uint16_t>(m_data[offset] << 8 | m_data[offset + 1]) : 0; }
    uint32_t U32BEAt(size_t offset) const
    {
        return Has(offset, 4) ? (uint32_t(m_data[offset]) << 24 | uint32_t(m_data[offset + 1]) << 16 | uint32_t(m_data[offset + 2]) << 8 | m_data[offset + 3]) : 0;
    }
    uint16_t U16LEAt(size_t offset) const { return Has(offset, 2) ? static_cast<uint16_t>(m_data[offset] | m_data[offset + 1] << 8) : 0; }
    uint32_t U32LEAt(size_t offset) const
    {
        return Has(offset, 4) ? (m_data[offset] | uint32_t(m_data[offset + 1]) << 8 | uint32_t(m_data[offset + 2]) << 16 | uint32_t(m_data[offset + 3]) << 24) : 0;
    }

private:
    bool Check(bool condition)
    {
        if (!condition)
            m_ok = false;
        return condition;
    }
    uint64_t Big(int count)
    {
        if (!Check(Remaining() >= static_cast<size_t>(count)))
            return 0;
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v = v << 8 | m_data[m_pos++];
        return v;
    }
    uint64_t Little(int count)
    {
        if (!Check(Remaining() >= static_cast<size_t>(count)))
            return 0;
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v |= uint64_t(m_data[m_pos++]) << (8 * i);
        return v;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
    bool m_ok = true;
};
