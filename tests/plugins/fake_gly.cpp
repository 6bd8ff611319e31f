#include "fake_gly.h"

#include "activation/pipe_protocol.h"
#include "core/app_messages.h"

namespace {

// Waits for an overlapped operation or the stop event; false on a stop or a failure.
bool Finish(HANDLE pipe, OVERLAPPED& ov, BOOL started, HANDLE stop, DWORD& bytes, DWORD& error) {
  error = 0;
  if (!started) {
    error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      HANDLE handles[2] = {ov.hEvent, stop};
      if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &ov, &bytes, TRUE);
        return false;
      }
    } else if (error != ERROR_MORE_DATA && error != ERROR_PIPE_CONNECTED) {
      return false;
    }
  }
  if (error == ERROR_PIPE_CONNECTED) return true;
  if (GetOverlappedResult(pipe, &ov, &bytes, FALSE)) return true;
  error = GetLastError();
  return false;
}
}  // namespace

FakeGly::FakeGly(FakeGlyOptions options, bool withWindow) : fOptions(std::move(options)) {
  fStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  fReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  fExchangeDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (withWindow) {
    fWindowThread = std::thread([this] { WindowThread(); });
    WaitForSingleObject(fReady, 10000);
  }
}

FakeGly::~FakeGly() {
  SetEvent(fStop);
  if (fWindowThread.joinable()) fWindowThread.join();
  if (fPipeThread.joinable()) fPipeThread.join();
  CloseHandle(fStop);
  CloseHandle(fReady);
  CloseHandle(fExchangeDone);
}

std::vector<WPARAM> FakeGly::Codes() {
  std::lock_guard<std::mutex> hold(fLock);
  return fCodes;
}

std::vector<std::wstring> FakeGly::PipeMessages() {
  std::lock_guard<std::mutex> hold(fLock);
  return fMessages;
}

bool FakeGly::WaitExchangeDone(DWORD ms) { return WaitForSingleObject(fExchangeDone, ms) == WAIT_OBJECT_0; }

void FakeGly::StartPipeServer() {
  if (fPipeStarted.exchange(true)) return;
  fPipeThread = std::thread([this] { PipeThread(); });
}

LRESULT CALLBACK FakeGly::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  FakeGly* self = reinterpret_cast<FakeGly*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_PLUGIN_COMMAND && self) {
    {
      std::lock_guard<std::mutex> hold(self->fLock);
      self->fCodes.push_back(wParam);
    }
    if (wParam == 3) return self->fOptions.version;
    if (wParam == 4) return self->fOptions.folderAnswer;
    if (wParam == 2 && self->fOptions.pipe) self->StartPipeServer();
    return 0;
  }
  if (message == WM_COPYDATA && self) {
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    std::string text;
    if (data->lpData)
      text.assign(static_cast<const char*>(data->lpData), strnlen(static_cast<const char*>(data->lpData), data->cbData));
    std::lock_guard<std::mutex> hold(self->fLock);
    self->fCopyData.push_back(std::to_string(data->dwData) + " " + std::to_string(data->cbData) + " " + text);
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<std::string> FakeGly::CopyData() {
  std::lock_guard<std::mutex> hold(fLock);
  return fCopyData;
}

void FakeGly::WindowThread() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &FakeGly::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"GLYMainWnd";
    RegisterClassW(&wc);
  });
  fWindow = CreateWindowExW(0, L"GLYMainWnd", L"Glyphary", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(fWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetEvent(fReady);
  if (fOptions.hung) {
    WaitForSingleObject(fStop, INFINITE);
  } else {
    for (;;) {
      DWORD wait = MsgWaitForMultipleObjects(1, &fStop, FALSE, INFINITE, QS_ALLINPUT);
      if (wait == WAIT_OBJECT_0) break;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }
  DestroyWindow(fWindow);
}

void FakeGly::PipeThread() {
  HANDLE pipe = CreateNamedPipeW(glypipe::kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 8192, 8192, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    SetEvent(fExchangeDone);
    return;
  }
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto overlapped = [&] {
    OVERLAPPED ov{};
    ResetEvent(event);
    ov.hEvent = event;
    return ov;
  };
  auto write = [&](const std::wstring& text) {
    OVERLAPPED ov = overlapped();
    DWORD bytes = 0, error = 0;
    BOOL ok = WriteFile(pipe, text.data(), static_cast<DWORD>(text.size() * 2), nullptr, &ov);
    return Finish(pipe, ov, ok, fStop, bytes, error);
  };
  DWORD bytes = 0, error = 0;
  OVERLAPPED ov = overlapped();
  bool connected = Finish(pipe, ov, ConnectNamedPipe(pipe, &ov), fStop, bytes, error);
  std::vector<std::wstring> names;
  bool ended = false;
  while (connected && !ended) {
    wchar_t buffer[2048];
    ov = overlapped();
    if (!Finish(pipe, ov, ReadFile(pipe, buffer, sizeof buffer, nullptr, &ov), fStop, bytes, error)) break;
    std::wstring message(buffer, bytes / 2);
    {
      std::lock_guard<std::mutex> hold(fLock);
      fMessages.push_back(message);
    }
    auto kind = glypipe::ClassifyClientMessage(message);
    if (kind.kind == glypipe::ClientMessageKind::EndMarker) ended = true;
    else if (kind.kind == glypipe::ClientMessageKind::FontName) names.push_back(message);
  }
  if (ended && fOptions.dropAfterEnd) {
    // Nothing more: the pipe closes under the client's first read.
  } else if (ended && !fOptions.replyNothing) {
    bool anyUnresolved = false;
    for (auto& name : names) {
      write(glypipe::FormatStatusLine(name, 9, L"", L"", L""));
      auto it = fOptions.results.find(name);
      if (it == fOptions.results.end() || it->second != 14) anyUnresolved = true;
    }
    if (anyUnresolved && !fOptions.progressFolder.empty()) {
      write(glypipe::FormatProgressLine(fOptions.progressFolder));
      for (auto& name : names) {
        auto it = fOptions.results.find(name);
        if (it == fOptions.results.end() || it->second != 14) write(glypipe::FormatStatusLine(name, 10, L"", L"", L""));
      }
    }
    for (auto& name : names) {
      auto it = fOptions.results.find(name);
      int status = it == fOptions.results.end() ? 12 : it->second;
      if (status == 14) {
        std::wstring file = fOptions.fileFieldChars ? std::wstring(fOptions.fileFieldChars, L'f') : L"C:\\fonts\\" + name + L".otf";
        // Built by hand: the shared formatter cuts lines at the server's own limit.
        write(name + L"\n\t14\n\tFamily of " + name + L"\n\tRegular\n\t" + file);
      } else if (status > 0) {
        write(glypipe::FormatStatusLine(name, status, L"", L"", L""));
      }
    }
    write(std::wstring(glypipe::kEndMarker));
    // Wait until the client has read everything and closed its end.
    wchar_t scratch[64];
    ov = overlapped();
    Finish(pipe, ov, ReadFile(pipe, scratch, sizeof scratch, nullptr, &ov), fStop, bytes, error);
  } else if (ended) {
    WaitForSingleObject(fStop, INFINITE);
  }
  SetEvent(fExchangeDone);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  CloseHandle(event);
}
