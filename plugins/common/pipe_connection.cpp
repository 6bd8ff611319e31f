#include "pipe_connection.h"

#include "activation/pipe_protocol.h"
#include "main_program.h"

PipeConnection::PipeConnection(HANDLE stopEvent) : fStop(stopEvent) {
  fEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

PipeConnection::~PipeConnection() {
  if (fPipe != INVALID_HANDLE_VALUE) CloseHandle(fPipe);
  if (fEvent) CloseHandle(fEvent);
}

DWORD PipeConnection::Open() {
  if (fPipe != INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
  fPipe = CreateFileW(glypipe::kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, nullptr);
  return fPipe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
}

bool PipeConnection::SetMessageMode() {
  DWORD mode = PIPE_READMODE_MESSAGE;
  return SetNamedPipeHandleState(fPipe, &mode, nullptr, nullptr) != FALSE;
}

bool PipeConnection::Write(std::wstring_view text) {
  DWORD bytes = 0, err = 0;
  OVERLAPPED ov = NewOverlapped();
  BOOL ok = WriteFile(fPipe, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr, &ov);
  return Complete(ok, ov, bytes, err) && bytes == text.size() * sizeof(wchar_t);
}

bool PipeConnection::Read(std::wstring& message) {
  message.clear();
  std::string bytes;
  char chunk[4096];
  for (;;) {
    OVERLAPPED ov = NewOverlapped();
    DWORD got = 0, err = 0;
    BOOL ok = ReadFile(fPipe, chunk, sizeof chunk, nullptr, &ov);
    bool done = Complete(ok, ov, got, err);
    if (!done && err != ERROR_MORE_DATA) return false;
    bytes.append(chunk, got > sizeof chunk ? sizeof chunk : got);
    if (bytes.size() > kMaxReplyChars * sizeof(wchar_t)) return false;
    if (done) break;
  }
  // An odd trailing byte is no UTF-16 unit; it is dropped.
  message.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  return true;
}

OVERLAPPED PipeConnection::NewOverlapped() {
  OVERLAPPED ov{};
  ResetEvent(fEvent);
  ov.hEvent = fEvent;
  return ov;
}

// Waits for the I/O or the stop event; on a stop the I/O is cancelled and waited for.
bool PipeConnection::Complete(BOOL started, OVERLAPPED& ov, DWORD& bytes, DWORD& err) {
  if (!started) {
    err = GetLastError();
    if (err != ERROR_IO_PENDING && err != ERROR_MORE_DATA) return false;
    if (err == ERROR_IO_PENDING) {
      HANDLE handles[2] = {fEvent, fStop};
      DWORD count = fStop ? 2 : 1;
      DWORD wait = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
      if (wait != WAIT_OBJECT_0) {
        CancelIo(fPipe);
        GetOverlappedResult(fPipe, &ov, &bytes, TRUE);
        err = ERROR_OPERATION_ABORTED;
        return false;
      }
    }
  }
  if (GetOverlappedResult(fPipe, &ov, &bytes, FALSE)) {
    err = 0;
    return true;
  }
  err = GetLastError();
  return false;
}

PipeOpenResult OpenPipeWithRetries(PipeConnection& pipe, const std::atomic<uint8_t>& stop, HANDLE stopEvent) {
  for (int attempt = 1; !stop; ++attempt) {
    DWORD err = pipe.Open();
    if (err == ERROR_SUCCESS) return PipeOpenResult::kOpened;
    if (err == ERROR_INVALID_FUNCTION) return PipeOpenResult::kRefused;
    if (attempt >= ClientTimings().pipeOpenAttempts) return PipeOpenResult::kGaveUp;
    if (stopEvent) WaitForSingleObject(stopEvent, ClientTimings().pipeRetryMs);
    else Sleep(ClientTimings().pipeRetryMs);
  }
  return PipeOpenResult::kStopped;
}
