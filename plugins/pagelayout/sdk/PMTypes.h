#pragma once
// Basic types of the page-layout host's plug-in interface (our stand-in of the host SDK).
#include <cstdint>

using PMIID = uint32_t;
using ClassID = uint32_t;
using ImplementationID = uint32_t;
using PluginID = uint32_t;
using WidgetID = uint32_t;
using ActionID = uint32_t;
using ServiceID = uint32_t;
using RsrcID = int32_t;
using RsrcType = int32_t;
using UID = uint32_t;
using PMLocaleId = int32_t;

constexpr ClassID kInvalidClass = 0;
constexpr UID kInvalidUID = 0;

// Locales the host knows; the stand-in host picks one from its script.
constexpr PMLocaleId kLocaleEnglishUS = 0x0409;
constexpr PMLocaleId kLocaleChineseSimplified = 0x0804;

struct PMRect {
  double left = 0, top = 0, right = 0, bottom = 0;
  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
  void MoveTo(double x, double y) {
    double w = Width(), h = Height();
    left = x; top = y; right = x + w; bottom = y + h;
  }
};

struct PMRGBColor {
  double red = 0, green = 0, blue = 0;
};

// One resource of a plug-in: which plug-in, which type, which id, for which locale.
struct RsrcSpec {
  PMLocaleId locale = kLocaleEnglishUS;
  PluginID plugin = 0;
  RsrcType type = 0;
  RsrcID id = 0;
  bool visible = true;
};

// A node of a tree-view list: here a flat list, so the node is its row index (-1 = the root).
class NodeID {
 public:
  NodeID() = default;
  explicit NodeID(int32_t index) : fIndex(index) {}
  int32_t Get() const { return fIndex; }
  bool IsRoot() const { return fIndex < 0; }
  bool operator==(const NodeID& o) const { return fIndex == o.fIndex; }

 private:
  int32_t fIndex = -1;
};
