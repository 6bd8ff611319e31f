// The plug-in's about box.
#include "PIDialog.h"
#include "kindler_ids.h"
#include "kindler_ps.h"

namespace kindler_ps {

namespace {

class MyPSAboutBox : public PIAboutBox {
 public:
  ~MyPSAboutBox() override {
    if (fBold) DeleteObject(fBold);
  }

 protected:
  void Init() override {
    HWND title = GetItem(IDC_LIST_TITLE);
    LOGFONTW font{};
    HFONT current = title ? reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)) : nullptr;
    if (current && GetObjectW(current, sizeof font, &font)) {
      font.lfWeight = FW_BOLD;
      fBold = CreateFontIndirectW(&font);
      if (fBold) SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(fBold), TRUE);
    }
    SetWindowTextW(title, L"Kindler 1.5");
    SetWindowTextW(GetItem(IDC_STATUS_LINE),
                   L"A plug-in that finds unactivated font in opened document and calls application 'Glyphary' "
                   L"to activate them.");
    SetWindowTextW(GetItem(IDC_ABOUT_NOTICE), L"Copyright (C) Morvandel Type Works. All rights reserved.");
  }
  void Notify(int item) override {
    if (item == IDOK || item == IDCANCEL) End(item);  // the web-address button only shows the address
  }

 private:
  HFONT fBold = nullptr;
};

}  // namespace

void ShowAboutBox() {
  MyPSAboutBox box;
  box.Modal(PluginInstance(), IDD_KINDLER_ABOUT, GetActiveWindow());
}

}  // namespace kindler_ps
