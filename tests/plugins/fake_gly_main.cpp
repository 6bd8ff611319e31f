// plugin_fake_gly.exe: a fake main program that a plug-in can find or start. It notes its own
// command line in "started.txt" beside it and runs until it is ended or a minute has passed.
#include <cstdio>
#include <string>

#include "fake_gly.h"

int wmain() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring note(exe);
  note.resize(note.find_last_of(L'\\') + 1);
  note += L"started.txt";
  if (FILE* f = _wfopen(note.c_str(), L"wb")) {
    std::wstring line = GetCommandLineW();
    fwrite(line.data(), sizeof(wchar_t), line.size(), f);
    fclose(f);
  }
  FakeGly gly(FakeGlyOptions{});
  Sleep(60000);
  return 0;
}
