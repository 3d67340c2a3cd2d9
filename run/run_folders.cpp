#include "run/run_folders.h"

#include "base/strings.h"
#include "platform/own_folder.h"
#include "platform/paths.h"
#include "platform/system_failure.h"
#include "resources/texts.h"

std::optional<RunFailure> PrepareRunFolder(const std::string& folder) {
  switch (PrepareOwnFolder(folder)) {
    case OwnFolder::Ready:
      return std::nullopt;
    case OwnFolder::NotOwn:
      return RunFailure{FormatText(kMsgDownloadFolderNotOwn, {folder}),
                        {FailureKind::Access, FailureCode::None, 0, "use folder", folder,
                         "someone else could write into it"}};
    case OwnFolder::Failed:
      break;
  }
  return RunFailure{kMsgDownloadFolder, LastSystemFailure("make folder", folder)};
}

std::string PartialDownloadsOf(const std::string& downloadFolder) {
  return FolderBeside(downloadFolder, ".partial");
}
