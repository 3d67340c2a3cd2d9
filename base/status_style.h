// How the status line looks, as the configuration gives it: the run keeps
// it, the front end draws with it.
#pragma once

#include <string>

struct StatusStyle {
  std::string fontName = "Arial";
  int sizePoints = 12;
  bool bold = false;
  int textColor = 0;  // 0x00BBGGRR; negative: system colour
  int backColor = 16777215;
};
