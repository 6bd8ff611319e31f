#pragma once
// Read access to a font file that touches only the byte ranges a reader needs: one open, one query of size
// and dates, and as few reads as possible (close ranges are read together and kept for later look-ups).
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/helpers.h"

class FontFile {
public:
    struct Range {
        uint64_t offset;
        uint64_t length;
    };

    FontFile() = default;
    ~FontFile() { Close(); }
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;

    // Opens for reading with every sharing mode allowed.
    bool Open(const std::wstring& path);
    void Close();
    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_file; }

    uint64_t Size() const { return m_size; }
    const FILETIME& CreationTime() const { return m_creationTime; }

    // The bytes [offset, offset + length), fewer when the file ends first (a short read: callers check the
    // reader's Size). The reader stays valid until the file is closed.
    ByteReader Read(uint64_t offset, uint64_t length);
    // Brings these ranges into memory with as few reads as possible.
    void Prefetch(std::vector<Range> ranges);
    // The whole file, for formats parsed from memory in one piece; false when it is larger than maxBytes
    // (a cap against implausible files) or cannot be read completely.
    bool ReadAll(uint64_t maxBytes, std::vector<uint8_t>& out);

    // Memory whose pages are already touched, handed from closed files to the next ones:
    // fresh pages cost far more than the reads themselves.
    struct Buffer {
        std::unique_ptr<uint8_t[]> data;
        size_t capacity = 0;
    };

private:
    struct Block {
        uint64_t offset = 0;
        size_t size = 0;
        Buffer buffer;
    };
    const Block* Covering(uint64_t offset, uint64_t length) const;
    const Block* Load(uint64_t offset, uint64_t length);

    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
    FILETIME m_creationTime{};
    std::vector<Block> m_blocks;
};

// What all font files of the process have cost so far (benchmarks and tests look at it).
struct FontFileStats {
    uint64_t opens = 0;
    uint64_t reads = 0;
    uint64_t bytesRead = 0;
};
FontFileStats GetFontFileStats();

// The file's creation time as a local OLE date.
OleDate FileTimeToOleDate(const FILETIME& fileTime);
