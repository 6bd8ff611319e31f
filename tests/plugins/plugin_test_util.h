#pragma once
// Helpers shared by the plug-in tests.
#include <windows.h>

#include <string>
#include <vector>

// Linux-side scratch folder for one test, as a Windows path; emptied first.
std::wstring ScratchFolder(const std::wstring& name);
void WriteUtf8File(const std::wstring& path, const std::string& text);
std::string ReadFileBytes(const std::wstring& path);
// Runs a program and waits for it (up to `ms`); false when it did not end in time.
bool RunAndWait(const std::wstring& commandLine, DWORD ms, DWORD* exitCode = nullptr);
// Runs a stand-in host (from the bin folder) on a script; the log's lines.
std::vector<std::string> RunHost(const std::string& script, const std::wstring& name, DWORD ms = 120000,
                                 const std::wstring& hostExe = L"pagelayout_host.exe");
bool HasLine(const std::vector<std::string>& log, const std::string& line);
bool HasLineContaining(const std::vector<std::string>& log, const std::string& part);
size_t CountLines(const std::vector<std::string>& log, const std::string& line);
size_t CountContaining(const std::vector<std::string>& log, const std::string& part);
std::string JoinLines(const std::vector<std::string>& log);

// The final status both plug-ins show when their version and the program's do not match.
extern const char kPluginOlderStatus[];
extern const char kProgramOlderStatus[];
