#pragma once
// The server's status lines: five fields joined by "\n\t".
#include <cstdint>
#include <string_view>

// Splits a server line into its five fields the way "(.*)\n\t(.*)\n\t(.*)\n\t(.*)\n\t(.*)" finds its
// leftmost match ("." stops at line terminators). False when there is no match.
bool SplitStatusLine(std::wstring_view text, std::wstring_view fields[5]);
// The status field as a status byte: like _wtoi, and 0 for no number or one that is no byte.
uint8_t ParseStatusCode(std::wstring_view field);
