#pragma once
// Text files in UTF-16LE (with a byte-order mark) or in the system ANSI code page, and the
// time-stamped log built on them.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

// A file over a Win32 handle, opened with the classic open flags.
class CFile {
public:
    static constexpr UINT modeRead = 0x0;
    static constexpr UINT modeWrite = 0x1;
    static constexpr UINT modeReadWrite = 0x2;
    static constexpr UINT shareDenyNone = 0x40;
    static constexpr UINT modeCreate = 0x1000;
    static constexpr UINT modeNoTruncate = 0x2000;
    static constexpr UINT typeText = 0x4000;
    static constexpr UINT typeBinary = 0x8000;
    enum SeekPosition : UINT { begin = FILE_BEGIN, current = FILE_CURRENT, end = FILE_END };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(const wchar_t* name, UINT flags);
    virtual void Close();
    // Bytes read; 0 at the end or on failure.
    virtual UINT Read(void* buffer, UINT count);
    // TRUE when every byte was written.
    virtual BOOL Write(const void* buffer, UINT count);
    virtual void Flush();
    // Raises std::invalid_argument for a null name.
    virtual void SetFilePath(const wchar_t* name);

    ULONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    ULONGLONG GetPosition() const;
    ULONGLONG GetLength() const;
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const std::wstring& GetFilePath() const { return m_strFileName; }

    HANDLE m_hFile = INVALID_HANDLE_VALUE;

protected:
    std::wstring m_strFileName;
};

class CStdioFile : public CFile {
public:
    // One line without its line end; false at the end of the file.
    virtual BOOL ReadString(std::wstring& line) = 0;
};

class CStdioFileEx : public CStdioFile {
public:
    static constexpr UINT modeWriteUnicode = 0x20000;  // write UTF-16 with a byte-order mark
    static constexpr UINT kLineCapacity = 1024;        // units of a line read, terminator included

    CStdioFileEx();
    ~CStdioFileEx() override;

    void SetFilePath(const wchar_t* name) override;
    // A file opened for writing is positioned at its end so that writes append; a file opened
    // only for reading stays at its start.
    BOOL Open(const wchar_t* name, UINT flags) override;
    void Close() override;
    BOOL ReadString(std::wstring& line) override;

    // Reads one line into buffer (capacity units, terminator included); a longer line is cut and
    // its rest skipped. ANSI text is converted to UTF-16 when convert is set, otherwise its bytes
    // are stored as chars at the start of the buffer. Null at the end of the file.
    virtual wchar_t* ReadLine(wchar_t* buffer, UINT capacity, BOOL convert);
    // One line as bytes in the ANSI code page (a UTF-16 file's line is converted to it).
    virtual BOOL ReadStringAnsi(std::string& line);
    // The file offset of the next unread byte.
    virtual ULONGLONG GetReadPosition() const;
    // Writes the text (and a line feed with newline) in the file's encoding.
    virtual BOOL WriteText(const std::wstring& text, BOOL newline);

    // The flags Open will use: a UTF-16 file opened only for reading is read as binary.
    UINT ProcessFlags(const wchar_t* name, UINT flags);
    // True when the file begins with the UTF-16LE byte-order mark.
    static bool IsFileUnicode(const wchar_t* name);

    bool IsUnicode() const { return m_bIsUnicode; }
    UINT GetOpenFlags() const { return m_nFlags; }

private:
    bool EnsureBuffer();
    // The next unit (a byte, or a 16-bit unit in a UTF-16 file) without consuming it.
    bool PeekUnit(wchar_t& unit);
    void ResetReadState();

    bool m_bIsUnicode = false;
    UINT m_nFlags = 0;
    std::vector<uint8_t> m_buffer;
    size_t m_bufferSize = 2 * 1024 * 1024;  // halved before each allocation attempt
    size_t m_scan = 0;                      // next unread byte in the buffer
    size_t m_filled = 0;                    // valid bytes in the buffer
    ULONGLONG m_bufferOffset = 0;           // file offset of the buffer's first byte
    bool m_started = false;                 // reading has begun (the byte-order mark is behind us)
};

// A log that writes each line and flushes it at once. It has no lock: one thread writes it while
// the thread that opened it only closes it.
class LogFile : public CStdioFileEx {
public:
    static constexpr int kMaxLineLength = 1023;

    LogFile(const wchar_t* path, BOOL unicode, BOOL append);
    ~LogFile() override;

    // Closes what is open; a null path leaves the log closed (every write is skipped).
    BOOL Open(const wchar_t* path, BOOL unicode, BOOL append);
    using CStdioFileEx::Open;
    BOOL IsLogOpen() const { return m_bOpen; }

    // A line of at most 1023 characters.
    void Write(const wchar_t* format, ...);
    // "[" local date and time "] " and a line of at most 1023 characters.
    void WriteTimestamped(const wchar_t* format, ...);
    void WriteV(const wchar_t* format, va_list args);
    void WriteTimestampedV(const wchar_t* format, va_list args);

    // The local date and time as the user's locale writes it.
    static std::wstring CurrentDateTimeText();

private:
    BOOL m_bOpen = FALSE;
    BOOL m_bUnicode = FALSE;
};

// The plug-in session log: closed until start-up opens it in the per-user data folder.
extern LogFile PluginSessionLog;
