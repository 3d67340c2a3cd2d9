#include "run/run_state.h"

#include <algorithm>

#include "platform/paths.h"

const std::string& RunState::Argument(std::size_t index) const {
  static const std::string kNone;
  return index < args.size() ? args[index] : kNone;
}

std::string RunState::OwnExeName() const { return ExtractFileName(ExePath); }

std::string RunState::CopiedMarker() const {
  return CfgSl.lines.size() > kCopiedMarkerLine ? CfgSl.lines[kCopiedMarkerLine] : std::string();
}

std::string RunState::InstalledRecordFilename() const {
  return InstallOrdner + kInstalledRecordName;
}

bool RunState::SaveCopiedMarker(const std::string& value) {
  CfgSl.lines.resize(std::max<std::size_t>(CfgSl.lines.size(), kCopiedMarkerLine + 1));
  CfgSl.lines[kCopiedMarkerLine] = value;
  return SaveListFile(CfgFilename, CfgSl);
}
