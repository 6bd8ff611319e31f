#pragma once
// A stand-in for gly.exe's side of the plug-in protocol: a hidden top-level window of class
// "GLYMainWnd" that answers the plug-in control codes, and the activation pipe's server.
#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeGlyOptions {
  LRESULT version = 5;
  LRESULT folderAnswer = 0;
  bool hung = false;          // the window's thread never pumps its messages
  bool pipe = true;           // code 2 starts the pipe server
  bool replyNothing = false;  // after the end marker the server says nothing more
  std::map<std::wstring, int> results;  // final status per name; 12 when not listed
  std::wstring progressFolder;          // a progress line before the final statuses
  size_t fileFieldChars = 0;            // a long file field for found fonts (0: a short path)
  bool dropAfterEnd = false;            // the server closes the pipe as soon as the list has ended
};

class FakeGly {
 public:
  explicit FakeGly(FakeGlyOptions options, bool withWindow = true);
  ~FakeGly();
  FakeGly(const FakeGly&) = delete;
  FakeGly& operator=(const FakeGly&) = delete;

  HWND Window() const { return fWindow; }
  void StartPipeServer();
  std::vector<WPARAM> Codes();
  std::vector<std::wstring> PipeMessages();
  // WM_COPYDATA received: "<dwData> <cbData> <text up to the first zero>".
  std::vector<std::string> CopyData();
  // True once the pipe server has ended its exchange.
  bool WaitExchangeDone(DWORD ms);

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  void WindowThread();
  void PipeThread();

  FakeGlyOptions fOptions;
  HANDLE fStop;
  HANDLE fReady;
  HANDLE fExchangeDone;
  HWND fWindow = nullptr;
  std::thread fWindowThread;
  std::thread fPipeThread;
  std::atomic<bool> fPipeStarted{false};
  std::mutex fLock;
  std::vector<WPARAM> fCodes;
  std::vector<std::wstring> fMessages;
  std::vector<std::string> fCopyData;
};
