#pragma once
// What a plug-in declares to the host (its identity, implementations, classes and actions), the
// services the host lends it, and the entry point through which the host finds both.
#include <string>

#include "HostInterfaces.h"

struct ImplementationEntry {
  ImplementationID id;
  ImplCreateFn create;
  ImplDestroyFn destroy;
};

struct InterfaceEntry {
  PMIID iid;
  ImplementationID impl;  // the plug-in's, or the host's own
};

struct ClassEntry {
  ClassID id;
  ClassID parent;  // kInvalidClass: none
  bool addIn;      // adds its interfaces to the existing class `id`
  const InterfaceEntry* interfaces;
  int count;
};

struct ActionEntry {
  ActionID id;
  ClassID component;
  const wchar_t* nameKey;
  const wchar_t* area;
  const wchar_t* menuPath;
  double position;
};

struct PlugInDeclaration {
  PluginID id;
  const wchar_t* version;
  const wchar_t* fileName;
  const ImplementationEntry* implementations;
  int implementationCount;
  const ImplementationID* implementationIDs;  // the implementation-id resource
  int implementationIDCount;
  const ClassEntry* classes;
  int classCount;
  const ActionEntry* actions;
  int actionCount;
};

// Services the host lends to a loaded plug-in.
class IHostServices {
 public:
  virtual ISession* GetExecutionContextSession() = 0;
  virtual IPMUnknown* QueryUtils(PMIID iid) = 0;
  virtual PMLocaleId GetLocale() = 0;
  virtual bool Translate(const std::wstring& key, std::wstring& text) = 0;
  virtual int32_t ModalAlert(const PMString& text, const PMString& button1, const PMString& button2,
                             const PMString& button3, int32_t defaultButton) = 0;
  virtual bool ChooseFolder(const PMString& title, std::wstring& folder) = 0;

 protected:
  ~IHostServices() = default;
};

class IPlugIn {
 public:
  virtual const PlugInDeclaration& GetDeclaration() const = 0;
  virtual void SetHostServices(IHostServices* host) = 0;

 protected:
  ~IPlugIn() = default;
};

using GetPlugInFn = IPlugIn* (*)();

// Defined by the plug-in: its registration.
extern const PlugInDeclaration gPlugInDeclaration;

IHostServices* GetHostServices();
