#include "PIDialog.h"

INT_PTR PIDialog::Modal(HINSTANCE instance, int id, HWND parent) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(id), parent, Proc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PIDialog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<PIDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  try {
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<PIDialog*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      self->fWindow = window;
      self->Init();
      return TRUE;
    }
    if (self && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
      self->Notify(LOWORD(wParam));
      return TRUE;
    }
  } catch (...) {
    EndDialog(window, -1);
  }
  return FALSE;
}
