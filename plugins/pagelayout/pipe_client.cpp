#include "pipe_client.h"

#include "activation/pipe_protocol.h"
#include "core/app_messages.h"
#include "pipe_connection.h"

bool HandshakeMainWindow(ActivationSession* session, HWND window) {
  if (!session || !window) return false;
  LRESULT version = 0;
  if (!SendControlCode(window, kCodeProtocolVersion, version)) {
    session->SetLaunchState(kLaunchFailed);
    return false;
  }
  if (version != kProtocolVersion) {
    session->SetLaunchState(static_cast<ULONG_PTR>(version) > static_cast<ULONG_PTR>(kProtocolVersion)
                                ? kPluginOlderThanProgram
                                : kPluginNeedsNewerProgram);
    return false;
  }
  session->SetLaunchState(kConnected);
  LRESULT folderAnswer = 0;
  if (!SendControlCode(window, kCodeSearchFolderWanted, folderAnswer)) {
    session->SetLaunchState(kLaunchFailed);
    return false;
  }
  const WORD answer = static_cast<WORD>(folderAnswer);
  if (LOBYTE(answer) == 0) return true;
  session->folderAnswered = 0;
  session->SetFolder(PMString());
  session->folderRequest = 1;
  while (!session->folderAnswered) {
    if (session->WaitForStop(50)) break;
  }
  if (session->GetFolder().empty() && HIBYTE(answer) == 0) return false;
  return true;
}

void ApplyReplyLine(std::wstring_view text, MissingFontRecordArray* records, ActivationSession* session) {
  std::wstring_view fields[5];
  if (!records || !session || !SplitStatusLine(text, fields)) return;
  const uint8_t status = ParseStatusCode(fields[1]);
  for (int32_t row = 0; row < records->size(); ++row) {
    MissingFontRecord& record = (*records)[row];
    if (record.name.GetText() != fields[0]) continue;
    {
      SessionLockHolder hold(session->lock);
      record.status = status;
      record.family = PMString(std::wstring(fields[2]));
      record.style = PMString(std::wstring(fields[3]));
      record.file = PMString(std::wstring(fields[4]));
      session->changedRows.push_back(row);
    }
    if (status == glypipe::kStatusActivated) session->anyActivated = 1;
    return;
  }
}

void MarkUnansweredNotFound(MissingFontRecordArray* records, ActivationSession* session) {
  if (!records || !session) return;
  SessionLockHolder hold(session->lock);
  for (int32_t row = 0; row < records->size(); ++row) {
    if ((*records)[row].status == glypipe::kStatusSearchingFolder) {
      (*records)[row].status = glypipe::kStatusNotFound;
      session->changedRows.push_back(row);
    }
  }
}

int RunPipeSession(ActivationSession* session, MissingFontRecordArray* records) {
  if (!session || !records) return 0;
  session->error = kSessionNoError;
  PipeConnection pipe(session->stopEvent);
  // I/O ended by a stop is no pipe failure.
  auto fail = [&] {
    if (!session->stop) session->error = kSessionPipeFailure;
  };
  const PipeOpenResult open = OpenPipeWithRetries(pipe, session->stop, session->stopEvent);
  if (open == PipeOpenResult::kRefused || open == PipeOpenResult::kGaveUp) fail();
  const bool opened = open == PipeOpenResult::kOpened;
  if (opened && !session->stop) [&] {
    if (!pipe.SetMessageMode()) return fail();
    PMString folder = session->GetFolder();
    if (!folder.empty()) {
      std::wstring message(glypipe::kFolderPrefix);
      message += folder.GetText();
      // The server takes a message whole or drops the exchange: a folder too long for it is not sent.
      if (message.size() <= glypipe::kMaxClientMessageChars && !pipe.Write(message)) return fail();
      session->SetFolder(PMString());
    }
    for (int32_t row = 0; row < records->size(); ++row) {
      if (session->stop) break;
      MissingFontRecord& record = (*records)[row];
      // No server can take a longer name, and sending it would lose every other name too.
      const bool tooLong = record.name.GetText().size() > glypipe::kMaxClientMessageChars;
      if (!tooLong && !pipe.Write(record.name.GetText())) return fail();
      SessionLockHolder hold(session->lock);
      record.status = tooLong ? glypipe::kStatusNotFound : glypipe::kStatusBeingSent;
      session->changedRows.push_back(row);
    }
    if (session->stop) return;
    if (!pipe.Write(glypipe::kEndMarker)) return fail();
    std::wstring message;
    while (!session->stop) {
      if (!pipe.Read(message)) return fail();
      if (message.empty()) continue;
      if (message == glypipe::kEndMarker) break;
      std::wstring_view view(message);
      if (view.substr(0, glypipe::kProgressPrefix.size()) == glypipe::kProgressPrefix) {
        session->SetInfoText(PMString(std::wstring(view.substr(glypipe::kProgressPrefix.size()))));
        session->infoChanged = 1;
        continue;
      }
      ApplyReplyLine(view, records, session);
    }
  }();
  if (!session->stop) MarkUnansweredNotFound(records, session);
  return 0;
}

unsigned __stdcall ActivationThreadProc(void* param) {
  auto* args = static_cast<ActivationThreadArgs*>(param);
  if (!args || !args->session) return 0;
  ActivationSession* session = args->session;
  HWND window = FindMainWindow();
  if (!window) {
    session->SetLaunchState(kLaunching);
    window = LaunchAndWaitForMainWindow(session->stopEvent);
  }
  if (args->mainWindowSlot) *args->mainWindowSlot = window;
  if (!window) {
    session->SetLaunchState(kLaunchFailed);
    session->finished = 1;
    return 0;
  }
  if (!session->stop && HandshakeMainWindow(session, window)) {
    PostMessageW(window, WM_PLUGIN_COMMAND, kCodeStartServer, 0);
    RunPipeSession(session, args->records);
  }
  session->finished = 1;
  return 0;
}
