#pragma once
// Makes fonts available to Windows and takes them away again: private loads for the program's own
// drawing, loads for all programs, and permanent registration in the system's font registry with the
// font files copied, moved or deleted. The layer never broadcasts WM_FONTCHANGE; the batch operations
// that call it do that once at their end.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/font_record.h"
#include "core/loaded_fonts.h"

// Sent to an uninstall's progress window before a font is removed: the family name and the resource
// name, both as wide strings.
#include "core/app_messages.h"

class FontResourceLoader {
public:
    using AddFontResourceExProc = int(WINAPI*)(LPCWSTR name, DWORD flags, PVOID reserved);
    using RemoveFontResourceExProc = BOOL(WINAPI*)(LPCWSTR name, DWORD flags, PVOID reserved);

    // Binds the Type 1 manager and the GDI functions of the environment's GDI32 module.
    void Initialize();
    bool HasExApi() const { return addFontResourceEx != nullptr; }

    int32_t type1ManagerPresent = 0;
    AddFontResourceExProc addFontResourceEx = nullptr;
    RemoveFontResourceExProc removeFontResourceEx = nullptr;
};

// The one loader of the process.
FontResourceLoader& GetFontResourceLoader();

// The text of the last failed font operation of this thread. Callers empty it before a batch and show it
// under their own message when it is not empty afterwards.
extern thread_local std::wstring LastFontOperationError;

// The name handed to the GDI font-resource functions: the file resolved against baseFolder, for Type 1
// "<pfm> |<pfb>". With fileNameOnly and baseFolder being the fonts folder only the file names are kept.
std::wstring BuildFontResourceName(const std::wstring& path, const std::wstring& baseFolder, int kind, bool fileNameOnly);
// The files of a font as a shell file list: each path followed by a zero character, then one more zero.
void BuildFontFileSpec(std::wstring& out, const std::wstring& path, const std::wstring& baseFolder, int kind);

// 0 when at least one font was added, 2 otherwise. privateLoad: only this process sees the font.
int LoadFontFile(const CFontItemInfo& record, const std::wstring& folder, const std::wstring& resourceName, int privateLoad);
// The GDI result (non-zero when removed). A private unload removes exactly what LoadFontForPreview loaded.
int UnloadFontFile(const CFontItemInfo& record, const std::wstring& folder, int privateLoad);
// Loads the font privately for drawing it; *mustUnload tells the caller to call UnloadFontFile with the
// private flag once drawn. Result as LoadFontFile, 0 when nothing was loaded.
int LoadFontForPreview(const CFontItemInfo& record, const std::wstring& folder, bool* mustUnload);

// Registers the font in the system (optionally copying its files into the fonts folder first) and loads
// it for all programs; the number of fonts added, 0 on failure.
int LoadFontItem(const CFontItemInfo& record, const std::wstring& folder, int copyToFontsFolder);
// Unloads a registered font and removes its registration; unless registryOnly, its files are then moved
// to destination (move), to the recycle bin or deleted. 1 on success, 0 on failure.
int UnloadFontItem(const CFontItemInfo& record, const std::wstring& folder, int registryOnly, int toRecycleBin, int move,
                   const std::wstring& destination, HWND progressWindow);
// Adds (add = 1) or removes (add = 0) the font's value under the system's font registry. 1 on success.
int SetFontRegistration(const CFontItemInfo& record, const std::wstring& folder, int add);

// Unloads every font of the program's loaded-font list; with keepPrivate the private loads of other kinds
// than Type 1 stay. The entries stay in the list.
void UnloadAllGLYLoaded(CFontArrayGLYLoaded& list, bool keepPrivate);
