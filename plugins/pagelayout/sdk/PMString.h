#pragma once
// The host's string: UTF-16 text that may be a key of the plug-in's string tables.
#include <string>

class PMString {
 public:
  PMString() = default;
  PMString(const wchar_t* s) : fText(s ? s : L"") {}
  PMString(std::wstring s) : fText(std::move(s)) {}

  // Replaces a string key by its text in the host's user-interface language; a text that is no
  // key stays as it is.
  void Translate();

  const std::wstring& GetText() const { return fText; }
  const wchar_t* c_str() const { return fText.c_str(); }
  bool empty() const { return fText.empty(); }
  bool IsEmpty() const { return fText.empty(); }
  int32_t CharCount() const { return static_cast<int32_t>(fText.size()); }
  void Clear() { fText.clear(); }
  void Append(const PMString& s) { fText += s.fText; }
  void Append(const std::wstring& s) { fText += s; }
  void SetString(const std::wstring& s) { fText = s; }
  bool operator==(const PMString& o) const { return fText == o.fText; }
  bool operator!=(const PMString& o) const { return fText != o.fText; }

  // Replaces the first "%s" by the value; false when the text has none.
  bool ReplaceFirstPlaceholder(const std::wstring& value) {
    auto pos = fText.find(L"%s");
    if (pos == std::wstring::npos) return false;
    fText.replace(pos, 2, value);
    return true;
  }

 private:
  std::wstring fText;
};
