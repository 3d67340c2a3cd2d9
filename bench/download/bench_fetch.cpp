// Fetches a list of files the way the download phase does, one after the
// other on one kept-alive connection: HttpDownloadFile and then the server
// date on every file. Prints the time taken.
//
//   qv_bench_download BASE_URL NAMES_FILE OUT_FOLDER
//
// A line of NAMES_FILE is a file name, or "SHA256  NAME" as sha256sum
// writes it: the file is then hashed as it arrives, as a signed release's.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/haupt.h"
#include "download/download.h"
#include "platform/file_info.h"
#include "platform/local_time.h"
#include "platform/retry.h"
#include "scripted_front_end.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s BASE_URL NAMES_FILE OUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string base = argv[1];
  const std::string outFolder = std::string(argv[3]) + "/";
  struct Listed {
    std::string name;
    std::string sha256;
  };
  std::vector<Listed> files;
  std::ifstream list(argv[2]);
  for (std::string line; std::getline(list, line);) {
    const std::size_t gap = line.find("  ");
    if (gap == std::string::npos) {
      if (!line.empty()) files.push_back({line, ""});
    } else {
      files.push_back({line.substr(gap + 2), line.substr(0, gap)});
    }
  }

  TForm1 form({argv[0], "Bench.cfg"},
              [](FrontEndEvents& events) { return std::make_unique<ScriptedFrontEnd>(events); });
  form.State().DownloadOrdner = outFolder;
  const TDateTime serverDate = NowLocal();

  const auto start = std::chrono::steady_clock::now();
  std::int64_t bytes = 0;
  for (const auto& [name, sha256] : files) {
    const std::string target = outFolder + name;
    if (download::HttpDownloadFile(form.State(), form, form.Http(), base + name, target, kAnySize,
                                   sha256) != download::FetchResult::Fetched) {
      std::fprintf(stderr, "failed: %s\n", name.c_str());
      return 1;
    }
    SetFileDateWithRetries(target, serverDate);
    bytes += GetFileSizeByName(target);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%zu files, %lld bytes, %.3f s\n", files.size(), static_cast<long long>(bytes),
              elapsed.count());
  return 0;
}
