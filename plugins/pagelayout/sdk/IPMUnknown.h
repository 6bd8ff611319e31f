#pragma once
// The host's base interface and the smart pointer the plug-in uses for every interface it asks for.
#include "PMTypes.h"

// Every object the host hands out is a "boss": several implementations, each reached by the id of
// its interface. QueryInterface adds a reference that the caller releases.
class IPMUnknown {
 public:
  virtual IPMUnknown* QueryInterface(PMIID iid) const = 0;
  virtual void AddRef() const = 0;
  virtual void Release() const = 0;

 protected:
  ~IPMUnknown() = default;
};

// Owns one reference. Built from an object and an interface id (asks for it) or adopts a pointer
// that already carries a reference.
template <class T>
class InterfacePtr {
 public:
  InterfacePtr() = default;
  explicit InterfacePtr(T* adopted) : fPtr(adopted) {}
  InterfacePtr(const IPMUnknown* object, PMIID iid)
      : fPtr(object ? static_cast<T*>(object->QueryInterface(iid)) : nullptr) {}
  InterfacePtr(const InterfacePtr&) = delete;
  InterfacePtr& operator=(const InterfacePtr&) = delete;
  InterfacePtr(InterfacePtr&& o) noexcept : fPtr(o.fPtr) { o.fPtr = nullptr; }
  ~InterfacePtr() { reset(); }

  void reset(T* adopted = nullptr) {
    if (fPtr) fPtr->Release();
    fPtr = adopted;
  }
  T* get() const { return fPtr; }
  T* operator->() const { return fPtr; }
  explicit operator bool() const { return fPtr != nullptr; }
  T* forget() {
    T* p = fPtr;
    fPtr = nullptr;
    return p;
  }

 private:
  T* fPtr = nullptr;
};

// Base of an implementation inside a boss: identity and reference count belong to the boss.
template <class I>
class CPMUnknown : public I {
 public:
  explicit CPMUnknown(IPMUnknown* boss) : fBoss(boss) {}
  virtual ~CPMUnknown() = default;
  IPMUnknown* QueryInterface(PMIID iid) const override { return fBoss->QueryInterface(iid); }
  void AddRef() const override { fBoss->AddRef(); }
  void Release() const override { fBoss->Release(); }

 protected:
  IPMUnknown* fBoss;
};

// Factory pair of one implementation, as the registration tables list it.
using ImplCreateFn = IPMUnknown* (*)(IPMUnknown* boss);
using ImplDestroyFn = void (*)(IPMUnknown* impl);

template <class C>
IPMUnknown* CreateImplementation(IPMUnknown* boss) {
  return static_cast<IPMUnknown*>(new C(boss));
}
template <class C>
void DestroyImplementation(IPMUnknown* impl) {
  delete static_cast<C*>(impl);
}
