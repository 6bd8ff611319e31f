#pragma once
// The client side of the main program: find or start it, agree on the protocol, and run one
// activation session over the pipe. Runs on the plug-in's worker thread.
#include <windows.h>

#include <string>
#include <string_view>

#include "main_program.h"
#include "session_store.h"
#include "status_line.h"

// The start record of the worker thread.
struct ActivationThreadArgs {
  ActivationSession* session = nullptr;
  MissingFontRecordArray* records = nullptr;
  HWND* mainWindowSlot = nullptr;
};

unsigned __stdcall ActivationThreadProc(void* args);

bool HandshakeMainWindow(ActivationSession* session, HWND window);
int RunPipeSession(ActivationSession* session, MissingFontRecordArray* records);
void ApplyReplyLine(std::wstring_view text, MissingFontRecordArray* records, ActivationSession* session);
void MarkUnansweredNotFound(MissingFontRecordArray* records, ActivationSession* session);
