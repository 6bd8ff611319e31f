#include "status_line.h"

#include <cwctype>

namespace {

bool IsLineTerminator(wchar_t c) { return c == L'\n' || c == L'\r' || c == 0x2028 || c == 0x2029; }

size_t NextTerminator(std::wstring_view text, size_t pos) {
  while (pos < text.size() && !IsLineTerminator(text[pos])) ++pos;
  return pos;
}

}  // namespace

bool SplitStatusLine(std::wstring_view text, std::wstring_view fields[5]) {
  for (size_t start = 0; start <= text.size(); start = NextTerminator(text, start) + 1) {
    size_t pos = start;
    bool matched = true;
    for (int i = 0; i < 4 && matched; ++i) {
      size_t end = NextTerminator(text, pos);
      if (end + 1 >= text.size() || text[end] != L'\n' || text[end + 1] != L'\t') {
        matched = false;
        break;
      }
      fields[i] = text.substr(pos, end - pos);
      pos = end + 2;
    }
    if (matched) {
      fields[4] = text.substr(pos, NextTerminator(text, pos) - pos);
      return true;
    }
    if (NextTerminator(text, start) >= text.size()) break;
  }
  return false;
}

uint8_t ParseStatusCode(std::wstring_view field) {
  size_t i = 0;
  while (i < field.size() && iswspace(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) negative = field[i++] == L'-';
  long value = 0;
  for (; i < field.size() && field[i] >= L'0' && field[i] <= L'9'; ++i) {
    if (value < 100000) value = value * 10 + (field[i] - L'0');  // saturate: only bytes matter
  }
  if (negative) value = -value;
  return (value >= 0 && value <= 255) ? static_cast<uint8_t>(value) : 0;
}
