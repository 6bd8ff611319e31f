// File lists on the clipboard, as the shell puts them there for copy and paste of files.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "core/helpers.h"

namespace {

constexpr DWORD kLinkEffect = 4;
constexpr size_t kMaxNameLength = 1040;

UINT PreferredDropEffectFormat()
{
    return RegisterClipboardFormatW(L"Preferred DropEffect");
}

class ClipboardOpen {
public:
    ClipboardOpen()
    {
        // Another program may hold the clipboard for a moment.
        for (int attempt = 0; attempt < 5 && !open_; ++attempt) {
            if (attempt)
                Sleep(20);
            open_ = OpenClipboard(nullptr) != FALSE;
        }
    }
    ~ClipboardOpen()
    {
        if (open_)
            CloseClipboard();
    }
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    explicit operator bool() const { return open_; }

private:
    bool open_ = false;
};

class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T size) : handle_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, size)) {}
    ~GlobalBlock()
    {
        if (handle_)
            GlobalFree(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL Get() const { return handle_; }
    HGLOBAL Release()
    {
        HGLOBAL handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HGLOBAL handle_;
};

class GlobalLocked {
public:
    explicit GlobalLocked(HGLOBAL handle)
        : handle_(handle), data_(handle ? GlobalLock(handle) : nullptr), size_(data_ ? GlobalSize(handle) : 0)
    {
    }
    ~GlobalLocked()
    {
        if (data_)
            GlobalUnlock(handle_);
    }
    GlobalLocked(const GlobalLocked&) = delete;
    GlobalLocked& operator=(const GlobalLocked&) = delete;
    void* Data() const { return data_; }
    SIZE_T Size() const { return size_; }

private:
    HGLOBAL handle_;
    void* data_;
    SIZE_T size_;
};

// The "Preferred DropEffect" on the open clipboard; false when it is missing or short.
bool ReadDropEffect(DWORD& effect)
{
    HANDLE data = GetClipboardData(PreferredDropEffectFormat());
    GlobalLocked locked(data);
    if (!locked.Data() || locked.Size() < sizeof(DWORD))
        return false;
    std::memcpy(&effect, locked.Data(), sizeof(DWORD));
    return true;
}

// The names of a CF_HDROP block on the open clipboard. The block comes from any program: every
// offset and name is checked against the block's size instead of trusting its header.
bool ReadDropNames(CStringArray* outFiles, size_t& count)
{
    count = 0;
    GlobalLocked locked(GetClipboardData(CF_HDROP));
    if (!locked.Data() || locked.Size() < sizeof(DROPFILES))
        return false;
    const auto* bytes = static_cast<const unsigned char*>(locked.Data());
    DROPFILES header;
    std::memcpy(&header, bytes, sizeof(header));
    const SIZE_T size = locked.Size();
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= size)
        return false;
    if (header.fWide) {
        const SIZE_T chars = (size - header.pFiles) / sizeof(wchar_t);
        std::wstring all(chars, L'\0');
        std::memcpy(all.data(), bytes + header.pFiles, chars * sizeof(wchar_t));
        size_t start = 0;
        while (start < all.size() && all[start]) {
            size_t end = all.find(L'\0', start);
            if (end == std::wstring::npos)
                break;  // a name without its terminator runs off the block
            if (end - start < kMaxNameLength) {
                ++count;
                if (outFiles)
                    outFiles->push_back(all.substr(start, end - start));
            }
            start = end + 1;
        }
    } else {
        const char* names = reinterpret_cast<const char*>(bytes + header.pFiles);
        const SIZE_T chars = size - header.pFiles;
        size_t start = 0;
        while (start < chars && names[start]) {
            const void* zero = std::memchr(names + start, 0, chars - start);
            if (!zero)
                break;
            size_t end = static_cast<const char*>(zero) - names;
            int converted = 0;
            BSTR wide = MultiByteToBSTR(names + start, static_cast<int>(end - start), &converted, CP_ACP);
            if (wide) {
                if (static_cast<size_t>(converted) < kMaxNameLength) {
                    ++count;
                    if (outFiles)
                        outFiles->emplace_back(wide, static_cast<size_t>(converted));
                }
                SysFreeString(wide);
            }
            start = end + 1;
        }
    }
    return count > 0;
}

}  // namespace

bool CopyFilesToClipboard(const CStringArray& files, bool copy)
{
    size_t chars = 1;  // the final zero
    for (const auto& file : files)
        chars += file.size() + 1;
    GlobalBlock drop(sizeof(DROPFILES) + chars * sizeof(wchar_t));
    GlobalBlock effect(sizeof(DWORD));
    if (!drop.Get() || !effect.Get())
        return false;
    {
        GlobalLocked locked(drop.Get());
        if (!locked.Data())
            return false;
        auto* header = static_cast<DROPFILES*>(locked.Data());
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        auto* names = reinterpret_cast<wchar_t*>(static_cast<unsigned char*>(locked.Data()) + sizeof(DROPFILES));
        for (const auto& file : files) {
            std::memcpy(names, file.c_str(), file.size() * sizeof(wchar_t));
            names += file.size() + 1;
        }
    }
    {
        GlobalLocked locked(effect.Get());
        if (!locked.Data())
            return false;
        *static_cast<DWORD*>(locked.Data()) = copy ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    }
    ClipboardOpen clipboard;
    if (!clipboard)
        return false;
    EmptyClipboard();
    // The clipboard owns a block once it took it.
    if (!SetClipboardData(CF_HDROP, drop.Get()))
        return false;
    drop.Release();
    if (!SetClipboardData(PreferredDropEffectFormat(), effect.Get()))
        return false;
    effect.Release();
    return true;
}

bool ReadClipboardFiles(CStringArray& outFiles, DWORD* outEffect)
{
    if (!IsClipboardFormatAvailable(CF_HDROP))
        return false;
    ClipboardOpen clipboard;
    if (!clipboard)
        return false;
    if (outEffect) {
        DWORD effect = 0;
        if (!ReadDropEffect(effect))
            return false;
        *outEffect = effect & ~kLinkEffect;
    }
    size_t count = 0;
    return ReadDropNames(&outFiles, count);
}

bool GetClipboardFilesEffect(bool& outIsCopy)
{
    if (!IsClipboardFormatAvailable(CF_HDROP))
        return false;
    ClipboardOpen clipboard;
    if (!clipboard)
        return false;
    DWORD effect = 0;
    if (!ReadDropEffect(effect))
        return false;
    effect &= ~kLinkEffect;
    if (effect != DROPEFFECT_COPY && effect != DROPEFFECT_MOVE)
        return false;
    size_t count = 0;
    if (!ReadDropNames(nullptr, count))
        return false;
    outIsCopy = effect == DROPEFFECT_COPY;
    return true;
}

bool EmptyClipboardNow()
{
    ClipboardOpen clipboard;
    return clipboard && EmptyClipboard();
}

bool SetClipboardText(const std::wstring& text)
{
    int ansiLength = 0;
    auto ansi = WideToMultiByte(text.c_str(), CP_ACP, &ansiLength);
    if (!ansi)
        return false;
    GlobalBlock narrow(static_cast<SIZE_T>(ansiLength) + 1);
    GlobalBlock wide((text.size() + 1) * sizeof(wchar_t));
    if (!narrow.Get() || !wide.Get())
        return false;
    {
        GlobalLocked locked(narrow.Get());
        if (!locked.Data())
            return false;
        std::memcpy(locked.Data(), ansi.get(), static_cast<size_t>(ansiLength));
    }
    {
        GlobalLocked locked(wide.Get());
        if (!locked.Data())
            return false;
        std::memcpy(locked.Data(), text.c_str(), text.size() * sizeof(wchar_t));
    }
    ClipboardOpen clipboard;
    if (!clipboard)
        return false;
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, narrow.Get()))
        return false;
    narrow.Release();
    if (!SetClipboardData(CF_UNICODETEXT, wide.Get()))
        return false;
    wide.Release();
    return true;
}
