#include "ui/stdio_file_ex.h"

#include <oleauto.h>

#include <new>
#include <stdexcept>

#include "core/resource_strings.h"
#include "framework/win_thread.h"

LogFile PluginSessionLog(nullptr, FALSE, TRUE);

// ---- CFile ----

CFile::~CFile()
{
    CFile::Close();
}

BOOL CFile::Open(const wchar_t* name, UINT flags)
{
    Close();
    if (!name)
        return FALSE;
    DWORD access = GENERIC_READ;
    if (flags & modeWrite)
        access = GENERIC_WRITE;
    else if (flags & modeReadWrite)
        access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = (flags & shareDenyNone) ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate)
        disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE file = CreateFileW(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    m_hFile = file;
    m_strFileName = name;
    return TRUE;
}

void CFile::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD got = 0;
    if (!IsOpen() || !buffer || !count || !ReadFile(m_hFile, buffer, count, &got, nullptr))
        return 0;
    return got;
}

BOOL CFile::Write(const void* buffer, UINT count)
{
    if (!IsOpen())
        return FALSE;
    if (!count)
        return TRUE;
    DWORD written = 0;
    return WriteFile(m_hFile, buffer, count, &written, nullptr) && written == count;
}

void CFile::Flush()
{
    if (IsOpen())
        FlushFileBuffers(m_hFile);
}

void CFile::SetFilePath(const wchar_t* name)
{
    if (!name)
        throw std::invalid_argument("file name");
    m_strFileName = name;
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!IsOpen() || !SetFilePointerEx(m_hFile, distance, &position, from))
        return 0;
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetPosition() const
{
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!IsOpen() || !SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT))
        return 0;
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetLength() const
{
    LARGE_INTEGER size{};
    if (!IsOpen() || !GetFileSizeEx(m_hFile, &size))
        return 0;
    return static_cast<ULONGLONG>(size.QuadPart);
}

// ---- CStdioFileEx ----

CStdioFileEx::CStdioFileEx() = default;

CStdioFileEx::~CStdioFileEx()
{
    CStdioFileEx::Close();
}

void CStdioFileEx::SetFilePath(const wchar_t* name)
{
    CFile::SetFilePath(name);
}

bool CStdioFileEx::IsFileUnicode(const wchar_t* name)
{
    if (!name)
        return false;
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    uint8_t mark[2] = {};
    DWORD got = 0;
    bool unicode = ReadFile(file, mark, 2, &got, nullptr) && got == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
    CloseHandle(file);
    return unicode;
}

UINT CStdioFileEx::ProcessFlags(const wchar_t* name, UINT flags)
{
    m_bIsUnicode = IsFileUnicode(name);
    if (!(flags & (modeCreate | modeWrite)) && m_bIsUnicode)
        flags = (flags & ~typeText) | typeBinary;
    m_nFlags = flags;
    return flags;
}

BOOL CStdioFileEx::Open(const wchar_t* name, UINT flags)
{
    UINT adjusted = ProcessFlags(name, flags);
    ResetReadState();
    if (!CFile::Open(name, adjusted))
        return FALSE;
    if (adjusted & (modeWrite | modeReadWrite))
        SeekToEnd();
    return TRUE;
}

void CStdioFileEx::Close()
{
    CFile::Close();
    ResetReadState();
}

void CStdioFileEx::ResetReadState()
{
    m_scan = m_filled = 0;
    m_bufferOffset = 0;
    m_started = false;
}

bool CStdioFileEx::EnsureBuffer()
{
    if (!m_buffer.empty())
        return true;
    while (m_bufferSize) {
        m_bufferSize /= 2;
        if (!m_bufferSize)
            break;
        try {
            m_buffer.resize(m_bufferSize);
            return true;
        } catch (const std::bad_alloc&) {
        }
    }
    AfxMessageBox(L"Not enough memory!", MB_OK | MB_ICONSTOP);
    return false;
}

bool CStdioFileEx::PeekUnit(wchar_t& unit)
{
    size_t unitSize = m_bIsUnicode ? 2 : 1;
    if (m_filled - m_scan < unitSize) {
        // Keep the unscanned tail (half a unit at most) and read on after it, so that lines
        // continue across refills.
        size_t left = m_filled - m_scan;
        for (size_t i = 0; i < left; ++i)
            m_buffer[i] = m_buffer[m_scan + i];
        m_bufferOffset += m_scan;
        m_scan = 0;
        m_filled = left;
        UINT got = Read(m_buffer.data() + left, static_cast<UINT>(m_buffer.size() - left));
        m_filled += got;
        if (m_filled < unitSize)
            return false;
    }
    if (m_bIsUnicode)
        unit = static_cast<wchar_t>(m_buffer[m_scan] | (m_buffer[m_scan + 1] << 8));
    else
        unit = static_cast<wchar_t>(m_buffer[m_scan]);
    return true;
}

wchar_t* CStdioFileEx::ReadLine(wchar_t* buffer, UINT capacity, BOOL convert)
{
    if (!buffer || !capacity || !IsOpen() || !EnsureBuffer())
        return nullptr;
    if (!m_started) {
        m_started = true;
        m_bufferOffset = GetPosition();
        m_scan = m_filled = 0;
        wchar_t mark = 0;
        if (m_bufferOffset == 0 && m_bIsUnicode && PeekUnit(mark) && mark == 0xFEFF)
            m_scan += 2;
    }
    const size_t unitSize = m_bIsUnicode ? 2 : 1;
    std::string bytes;  // an ANSI line, converted into the caller's buffer at the end
    UINT stored = 0;
    bool any = false;
    wchar_t unit = 0;
    while (PeekUnit(unit)) {
        any = true;
        m_scan += unitSize;
        if (unit == L'\r' || unit == L'\n') {
            while (PeekUnit(unit) && (unit == L'\r' || unit == L'\n'))
                m_scan += unitSize;
            break;
        }
        if (stored + 1 < capacity) {
            if (m_bIsUnicode)
                buffer[stored] = unit;
            else
                bytes.push_back(static_cast<char>(unit));
            ++stored;
        }
    }
    if (!any)
        return nullptr;
    if (m_bIsUnicode) {
        buffer[stored] = 0;
    } else if (convert) {
        int length = bytes.empty() ? 0
                                   : MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), buffer,
                                                         static_cast<int>(capacity - 1));
        buffer[length > 0 ? length : 0] = 0;
    } else {
        // The bytes themselves, for a caller that reads the buffer as chars.
        char* out = reinterpret_cast<char*>(buffer);
        memcpy(out, bytes.data(), bytes.size());
        out[bytes.size()] = 0;
    }
    return buffer;
}

BOOL CStdioFileEx::ReadString(std::wstring& line)
{
    wchar_t buffer[kLineCapacity];
    buffer[0] = 0;
    if (!ReadLine(buffer, kLineCapacity, TRUE))
        return FALSE;
    line = buffer;
    return TRUE;
}

BOOL CStdioFileEx::ReadStringAnsi(std::string& line)
{
    wchar_t buffer[kLineCapacity];
    buffer[0] = 0;
    if (!ReadLine(buffer, kLineCapacity, FALSE))
        return FALSE;
    if (!m_bIsUnicode) {
        line = reinterpret_cast<const char*>(buffer);
        return TRUE;
    }
    line.clear();
    int length = WideCharToMultiByte(CP_ACP, 0, buffer, -1, nullptr, 0, nullptr, nullptr);
    if (length > 1) {
        line.resize(static_cast<size_t>(length));
        WideCharToMultiByte(CP_ACP, 0, buffer, -1, line.data(), length, nullptr, nullptr);
        line.resize(static_cast<size_t>(length - 1));
    }
    return TRUE;
}

ULONGLONG CStdioFileEx::GetReadPosition() const
{
    return m_bufferOffset + m_scan;
}

BOOL CStdioFileEx::WriteText(const std::wstring& text, BOOL newline)
{
    if (!IsOpen())
        return FALSE;
    BOOL ok = TRUE;
    if (m_nFlags & modeWriteUnicode) {
        if (GetPosition() == 0) {
            static const uint8_t mark[2] = {0xFF, 0xFE};
            ok = Write(mark, 2);
        }
        ok = Write(text.data(), static_cast<UINT>(text.size() * sizeof(wchar_t))) && ok;
        if (newline) {
            static const uint8_t lineFeed[2] = {0x0A, 0x00};
            ok = Write(lineFeed, 2) && ok;
        }
        return ok;
    }
    if (!text.empty()) {
        // Sized by the conversion itself: a character may take more than one byte.
        const DWORD flags = WC_COMPOSITECHECK | WC_SEPCHARS;
        UINT codePage = GetACP();
        int size = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, "#", nullptr);
        if (size <= 0)
            size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
        int converted = 0;
        if (size > 0) {
            converted = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                                            "#", nullptr);
            if (converted <= 0)  // code pages that take no flags or default character
                converted = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                                                nullptr, nullptr);
        }
        if (converted > 0)
            ok = Write(bytes.data(), static_cast<UINT>(converted));
        else
            ok = FALSE;
    }
    if (newline) {
        const char lineFeed = '\n';
        ok = Write(&lineFeed, 1) && ok;
    }
    return ok;
}

// ---- LogFile ----

LogFile::LogFile(const wchar_t* path, BOOL unicode, BOOL append) : m_bUnicode(unicode)
{
    Open(path, unicode, append);
}

LogFile::~LogFile()
{
    if (IsOpen())
        Close();
}

BOOL LogFile::Open(const wchar_t* path, BOOL unicode, BOOL append)
{
    m_bUnicode = unicode;
    if (IsOpen())
        Close();
    m_bOpen = FALSE;
    if (!path)
        return FALSE;
    UINT flags = typeBinary | modeCreate | shareDenyNone | modeWrite;
    if (unicode)
        flags |= modeWriteUnicode;
    if (append)
        flags |= modeNoTruncate;
    m_bOpen = CStdioFileEx::Open(path, flags);
    return m_bOpen;
}

namespace {
std::wstring FormatLine(const wchar_t* format, va_list args)
{
    std::wstring line = FormatStringV(format, args);
    if (line.size() > static_cast<size_t>(LogFile::kMaxLineLength))
        line.resize(LogFile::kMaxLineLength);
    return line;
}
}  // namespace

void LogFile::WriteV(const wchar_t* format, va_list args)
{
    if (!m_bOpen || !IsOpen())
        return;
    WriteText(FormatLine(format, args), TRUE);
    Flush();
}

void LogFile::WriteTimestampedV(const wchar_t* format, va_list args)
{
    if (!m_bOpen || !IsOpen())
        return;
    WriteText(L"[", FALSE);
    WriteText(CurrentDateTimeText(), FALSE);
    WriteText(L"] ", FALSE);
    WriteText(FormatLine(format, args), TRUE);
    Flush();
}

void LogFile::Write(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void LogFile::WriteTimestamped(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteTimestampedV(format, args);
    va_end(args);
}

std::wstring LogFile::CurrentDateTimeText()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    double date = 0;
    BSTR text = nullptr;
    std::wstring result;
    if (SystemTimeToVariantTime(&now, &date) && SUCCEEDED(VarBstrFromDate(date, LANG_USER_DEFAULT, 0, &text)) && text) {
        result.assign(text, SysStringLen(text));
        SysFreeString(text);
    }
    if (result.empty())
        result = L"Invalid DateTime";
    return result;
}
