#pragma once
// What the loading and unloading of whole sets shares with the rest of the program: the one
// WM_FONTCHANGE per batch. The operations themselves are CFontFilesXML's ActivateSetFonts,
// DeactivateSetFonts and ActivateMarkedSets.
#include <windows.h>

#include <functional>

// Tells every top-level window that the fonts changed (posted, so nobody waits for them). Batches
// call it once at their end, never per font.
void BroadcastFontChange();
// Replaces the broadcast (tests count it); null restores it.
void SetFontChangeBroadcastHook(std::function<void()> hook);
