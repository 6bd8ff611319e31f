#pragma once
// Responds to the host's document-opened signal: lists the document's missing fonts and runs one
// activation session with its dialog.
#include "pipe_client.h"
#include "sdk/SDKBases.h"

class CKindlerServiceProvider : public CServiceProvider {
 public:
  explicit CKindlerServiceProvider(IPMUnknown* boss);
  void GetName(PMString* name) override;
  ServiceID GetServiceID() override;
  bool IsDefaultServiceProvider() override { return false; }
  int32_t GetInstantiationPolicy() override { return 0; }
  bool HasMultipleIDs() const override { return fServiceIDs.size() > 1; }
  void GetServiceIDs(std::vector<ServiceID>& ids) override;

 private:
  std::vector<ServiceID> fServiceIDs;
};

class CKindlerResponder : public CResponder {
 public:
  using CResponder::CResponder;
  void Respond(ISignalMgr* signalMgr) override;

  // Runs one session with its dialog; returns when the dialog has closed and the worker has ended.
  void StartActivationSession();

 private:
  ActivationThreadArgs fStartRecord;
};

// Opens the missing-fonts dialog without a session (the menu action): it shows the last records.
void OpenMissingFontsDialog();
