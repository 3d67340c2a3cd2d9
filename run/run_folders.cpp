#include "run/run_folders.h"

#include "base/strings.h"
#include "platform/own_folder.h"
#include "platform/paths.h"
#include "resources/texts.h"

std::string PrepareRunFolder(const std::string& folder) {
  switch (PrepareOwnFolder(folder)) {
    case OwnFolder::Ready:
      return "";
    case OwnFolder::NotOwn:
      return FormatText(kMsgDownloadFolderNotOwn, {folder});
    case OwnFolder::Failed:
      break;
  }
  return kMsgDownloadFolder;
}

std::string PartialDownloadsOf(const std::string& downloadFolder) {
  return FolderBeside(downloadFolder, ".partial");
}
