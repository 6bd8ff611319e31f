#pragma once
// Private window messages that cross subsystems (numbers above WM_USER). A subsystem's own messages
// stay with the subsystem.
#include <windows.h>

constexpr UINT WM_WORKER_DONE = WM_USER + 127;          // wParam result, lParam thread kind
constexpr UINT WM_FONTOP_PROGRESS = WM_USER + 137;      // family name, file or resource name of the font in work
constexpr UINT WM_PREVIEW_IMAGE_READY = WM_USER + 147;  // row and cache number of a ready preview image
constexpr UINT WM_SET_FILL_PROGRESS = WM_USER + 149;    // family name and file path added to a set
constexpr UINT WM_QUICK_DB_SEARCH = WM_USER + 155;      // a search text for the quick database search
constexpr UINT WM_PLUGIN_COMMAND = WM_USER + 157;       // plug-in control codes, answered by the main frame
constexpr UINT WM_SET_FONTS_ACTIVATED = WM_USER + 158;  // fonts of a set were activated
