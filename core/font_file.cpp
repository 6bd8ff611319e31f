#include "core/font_file.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

namespace {
// Reading a few kilobytes more costs far less than another system call, so small reads are widened and
// ranges closer than this are read together.
constexpr uint64_t kMinRead = 8 * 1024;
constexpr uint64_t kMergeGap = 48 * 1024;
// Buffers are sized in these steps so that they fit the next file's ranges too.
constexpr size_t kBufferStep = 64 * 1024;
constexpr size_t kMaxSpareBytes = 8 * 1024 * 1024;

std::atomic<uint64_t> g_opens{0};
std::atomic<uint64_t> g_reads{0};
std::atomic<uint64_t> g_bytesRead{0};

// Buffers of closed files, shared by all threads: a lock per read costs nothing next to the read.
struct SparePool {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<FontFile::Buffer> buffers;
    size_t bytes = 0;
};

SparePool& Spares()
{
    static SparePool pool;
    return pool;
}

FontFile::Buffer TakeBuffer(size_t length)
{
    SparePool& pool = Spares();
    AcquireSRWLockExclusive(&pool.lock);
    // The smallest spare buffer that fits.
    size_t best = pool.buffers.size();
    for (size_t i = 0; i < pool.buffers.size(); ++i) {
        if (pool.buffers[i].capacity >= length && (best == pool.buffers.size() || pool.buffers[i].capacity < pool.buffers[best].capacity))
            best = i;
    }
    FontFile::Buffer b;
    if (best < pool.buffers.size()) {
        b = std::move(pool.buffers[best]);
        pool.buffers.erase(pool.buffers.begin() + static_cast<ptrdiff_t>(best));
        pool.bytes -= b.capacity;
    }
    ReleaseSRWLockExclusive(&pool.lock);
    if (b.data)
        return b;
    const size_t capacity = (length + kBufferStep - 1) / kBufferStep * kBufferStep;
    b.data.reset(new (std::nothrow) uint8_t[capacity]);
    b.capacity = b.data ? capacity : 0;
    return b;
}

void ReturnBuffer(FontFile::Buffer&& b)
{
    if (!b.data)
        return;
    SparePool& pool = Spares();
    AcquireSRWLockExclusive(&pool.lock);
    if (pool.bytes + b.capacity <= kMaxSpareBytes) {
        pool.bytes += b.capacity;
        pool.buffers.push_back(std::move(b));
    }
    ReleaseSRWLockExclusive(&pool.lock);
}
}  // namespace

FontFileStats GetFontFileStats()
{
    return {g_opens.load(), g_reads.load(), g_bytesRead.load()};
}

bool FontFile::Open(const std::wstring& path)
{
    Close();
    m_file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE)
        return false;
    ++g_opens;
    // Size and times come from the file's status; GetFileInformationByHandle would also ask Wine's server
    // for the file's name and costs several times an open.
    LARGE_INTEGER size;
    FILETIME accessed, written;
    if (!GetFileSizeEx(m_file, &size) || !GetFileTime(m_file, &m_creationTime, &accessed, &written)) {
        Close();
        return false;
    }
    m_size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

void FontFile::Close()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_size = 0;
    for (Block& b : m_blocks)
        ReturnBuffer(std::move(b.buffer));
    m_blocks.clear();
}

const FontFile::Block* FontFile::Covering(uint64_t offset, uint64_t length) const
{
    for (const Block& b : m_blocks) {
        if (offset >= b.offset && offset - b.offset <= b.size && length <= b.size - (offset - b.offset))
            return &b;
    }
    return nullptr;
}

const FontFile::Block* FontFile::Load(uint64_t offset, uint64_t length)
{
    if (!IsOpen() || offset >= m_size)
        return nullptr;
    length = std::min(length, m_size - offset);
    // Buffers are limited to what a single ReadFile can deliver.
    if (length > 0x7FFFFFFF)
        return nullptr;
    Block block;
    block.offset = offset;
    block.buffer = TakeBuffer(static_cast<size_t>(length));
    if (block.buffer.capacity < length)
        return nullptr;
    // A seek and a plain read stay inside the process under Wine; a read with an OVERLAPPED offset also
    // posts a completion to Wine's server, which costs as much as the open.
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    ++g_reads;
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) ||
        !ReadFile(m_file, block.buffer.data.get(), static_cast<DWORD>(length), &got, nullptr)) {
        ReturnBuffer(std::move(block.buffer));
        return nullptr;
    }
    g_bytesRead += got;
    block.size = got;
    m_blocks.push_back(std::move(block));
    return &m_blocks.back();
}

ByteReader FontFile::Read(uint64_t offset, uint64_t length)
{
    if (!IsOpen() || offset >= m_size)
        return ByteReader();
    length = std::min(length, m_size - offset);
    const Block* b = Covering(offset, length);
    if (!b) {
        Prefetch({{offset, length}});
        b = Covering(offset, length);
    }
    if (!b) {
        // A read that came back short: hand out what is there.
        for (const Block& candidate : m_blocks) {
            if (candidate.offset == offset)
                return ByteReader(candidate.buffer.data.get(), candidate.size);
        }
        return ByteReader();
    }
    return ByteReader(b->buffer.data.get() + (offset - b->offset), static_cast<size_t>(length));
}

void FontFile::Prefetch(std::vector<Range> ranges)
{
    std::vector<Range> wanted;
    for (Range r : ranges) {
        if (r.offset >= m_size || r.length == 0)
            continue;
        r.length = std::min(r.length, m_size - r.offset);
        if (!Covering(r.offset, r.length))
            wanted.push_back(r);
    }
    if (wanted.empty())
        return;
    std::sort(wanted.begin(), wanted.end(), [](const Range& a, const Range& b) { return a.offset < b.offset; });
    std::vector<Range> merged;
    for (const Range& r : wanted) {
        const uint64_t end = r.offset + std::max(r.length, kMinRead);
        if (!merged.empty() && r.offset <= merged.back().offset + merged.back().length + kMergeGap) {
            Range& last = merged.back();
            last.length = std::max(last.offset + last.length, end) - last.offset;
        } else {
            merged.push_back({r.offset, end - r.offset});
        }
    }
    for (const Range& r : merged)
        Load(r.offset, r.length);
}

bool FontFile::ReadAll(uint64_t maxBytes, std::vector<uint8_t>& out)
{
    out.clear();
    if (!IsOpen() || m_size > maxBytes || m_size > SIZE_MAX)
        return false;
    try {
        out.assign(static_cast<size_t>(m_size), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Seek and plain reads, as in Load.
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(m_file, start, nullptr, FILE_BEGIN))
        return false;
    size_t done = 0;
    while (done < out.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 0x7FFFFFFF));
        ++g_reads;
        if (!ReadFile(m_file, out.data() + done, want, &got, nullptr) || got == 0)
            return false;
        g_bytesRead += got;
        done += got;
    }
    return true;
}

OleDate FileTimeToOleDate(const FILETIME& fileTime)
{
    OleDate out;
    FILETIME local;
    SYSTEMTIME st;
    if (FileTimeToLocalFileTime(&fileTime, &local) && FileTimeToSystemTime(&local, &st))
        out.valid = SystemTimeToOleDate(st, out.date);
    return out;
}
