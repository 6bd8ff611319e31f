#pragma once
// Small modal Win32 dialog helpers for plug-ins that show their own boxes outside the dialog
// manager (the about box).
#include <windows.h>

class PIDialog {
 public:
  virtual ~PIDialog() = default;
  // Runs dialog `id` of `instance`; the id of the item that ended it, or -1.
  INT_PTR Modal(HINSTANCE instance, int id, HWND parent);

 protected:
  virtual void Init() {}
  // An item was pressed; end the dialog to return it.
  virtual void Notify(int item) { End(item); }
  void End(int item) { EndDialog(fWindow, item); }
  HWND GetItem(int id) const { return GetDlgItem(fWindow, id); }
  HWND Window() const { return fWindow; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND fWindow = nullptr;
};

// An about box: any button ends it.
class PIAboutBox : public PIDialog {
 protected:
  void Notify(int item) override { End(item); }
};
