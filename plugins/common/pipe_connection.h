#pragma once
// The client end of the activation pipe: opened for overlapped I/O so that a stop request ends a
// blocked read or write at once.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// Server lines are at most a few thousand units; anything far beyond is not our server.
constexpr size_t kMaxReplyChars = 64 * 1024;

class PipeConnection {
 public:
  // `stopEvent` (may be null) ends any wait of this connection when signalled.
  explicit PipeConnection(HANDLE stopEvent);
  ~PipeConnection();
  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;

  // ERROR_SUCCESS when opened, else the error of the attempt.
  DWORD Open();
  bool IsOpen() const { return fPipe != INVALID_HANDLE_VALUE; }
  bool SetMessageMode();
  // One message: the text's UTF-16 units, no terminator.
  bool Write(std::wstring_view text);
  // One whole message, however many reads it takes, taken by the byte count read. False on a
  // failure, a stop, or a message longer than kMaxReplyChars.
  bool Read(std::wstring& message);

 private:
  OVERLAPPED NewOverlapped();
  bool Complete(BOOL started, OVERLAPPED& ov, DWORD& bytes, DWORD& err);

  HANDLE fStop;
  HANDLE fPipe = INVALID_HANDLE_VALUE;
  HANDLE fEvent = nullptr;
};

enum class PipeOpenResult {
  kOpened,
  kRefused,  // ERROR_INVALID_FUNCTION: no point in trying again
  kGaveUp,   // every attempt failed
  kStopped,
};

// Opens the pipe, retrying as ClientTimings() says while `stop` stays clear.
PipeOpenResult OpenPipeWithRetries(PipeConnection& pipe, const std::atomic<uint8_t>& stop, HANDLE stopEvent);
