// Configuration line 20, the copied marker: "1" once a file has been copied
// since the marker was last reset; compared exactly.
#pragma once

#include <string>

#include "app/haupt.h"

inline constexpr std::size_t kCopiedMarkerLine = 20;

inline std::string CopiedMarker(const TForm1& form) {
  const auto& lines = form.CfgSl.lines;
  return lines.size() > kCopiedMarkerLine ? lines[kCopiedMarkerLine] : std::string();
}
