// The pipe thread of one activation session: sends the document and its missing fonts and follows
// the main program's status lines. It changes records only under the scan's lock and leaves every
// redraw to the dialog's thread.
#include "activation/pipe_protocol.h"
#include "kindler_ps.h"
#include "pipe_connection.h"
#include "status_line.h"

namespace kindler_ps {

namespace {

void Post(DocumentFonts& fonts, UINT message, WPARAM wParam = 0) {
  if (fonts.notifyWindow) PostMessageW(fonts.notifyWindow, message, wParam, 0);
}

// A message the server could not take whole would lose the exchange: it is not sent.
bool Fits(std::wstring_view message) { return message.size() <= glypipe::kMaxClientMessageChars; }

}  // namespace

int ApplyReplyLine(std::wstring_view text, DocumentFonts& fonts) {
  std::wstring_view fields[5];
  if (!SplitStatusLine(text, fields)) return -1;
  const uint8_t status = ParseStatusCode(fields[1]);
  std::lock_guard<std::mutex> hold(fonts.lock);
  for (size_t row = 0; row < fonts.records.size(); ++row) {
    FontRecord& record = fonts.records[row];
    if (record.postScriptName != fields[0]) continue;
    record.status = status;
    record.family.assign(fields[2]);
    record.style.assign(fields[3]);
    record.file.assign(fields[4]);
    return static_cast<int>(row);
  }
  return -1;
}

void RunPipeSession(DocumentFonts& fonts) {
  fonts.error = 0;
  PipeConnection pipe(fonts.stopEvent);
  auto fail = [&](int32_t code) {
    if (!fonts.stop) fonts.error = code;
  };
  switch (OpenPipeWithRetries(pipe, fonts.stop, fonts.stopEvent)) {
    case PipeOpenResult::kOpened:
      break;
    case PipeOpenResult::kRefused:
      return fail(kErrorPipeFailure);
    case PipeOpenResult::kGaveUp:
      return fail(kErrorNoConnection);
    case PipeOpenResult::kStopped:
      return;
  }
  if (fonts.stop) return;
  if (!pipe.SetMessageMode()) return fail(kErrorPipeFailure);
  if (!fonts.searchFolder.empty()) {
    std::wstring message(glypipe::kFolderPrefix);
    message += fonts.searchFolder;
    if (Fits(message) && !pipe.Write(message)) return fail(kErrorPipeFailure);
  }
  {
    std::wstring message(glypipe::kLogPrefix);
    message += fonts.documentPath;
    if (!Fits(message)) message.resize(glypipe::kMaxClientMessageChars);  // the log line only
    if (!pipe.Write(message)) return fail(kErrorPipeFailure);
  }
  const size_t count = fonts.records.size();  // the dialog does not resize the list while we run
  for (size_t row = 0; row < count; ++row) {
    if (fonts.stop) return;
    std::wstring name;
    {
      std::lock_guard<std::mutex> hold(fonts.lock);
      if (!fonts.records[row].missing) continue;
      name = fonts.records[row].postScriptName;
    }
    const bool tooLong = !Fits(name);
    if (!tooLong && !pipe.Write(name)) return fail(kErrorPipeFailure);
    {
      std::lock_guard<std::mutex> hold(fonts.lock);
      fonts.records[row].status = tooLong ? glypipe::kStatusNotFound : glypipe::kStatusBeingSent;
    }
    Post(fonts, kMsgRedrawRow, row);
  }
  if (fonts.stop) return;
  if (!pipe.Write(glypipe::kEndMarker)) return fail(kErrorPipeFailure);
  std::wstring message;
  while (!fonts.stop) {
    if (!pipe.Read(message)) return fail(kErrorPipeFailure);
    if (message.empty()) continue;
    if (message == glypipe::kEndMarker) break;
    std::wstring_view view(message);
    if (view.substr(0, glypipe::kProgressPrefix.size()) == glypipe::kProgressPrefix) {
      {
        std::lock_guard<std::mutex> hold(fonts.lock);
        fonts.progressFolder.assign(view.substr(glypipe::kProgressPrefix.size()));
      }
      Post(fonts, kMsgProgress);
      continue;
    }
    int row = ApplyReplyLine(view, fonts);
    if (row >= 0) Post(fonts, kMsgRedrawRow, static_cast<WPARAM>(row));
  }
}

unsigned __stdcall PipeThreadProc(void* param) {
  auto* fonts = static_cast<DocumentFonts*>(param);
  if (!fonts) return 0;
  try {
    RunPipeSession(*fonts);
  } catch (...) {
    fonts->error = kErrorPipeFailure;
  }
  // Every ending, a failed open included, hands the buttons back and shows the rows' outcome.
  Post(*fonts, kMsgSessionEnd);
  return 0;
}

}  // namespace kindler_ps
