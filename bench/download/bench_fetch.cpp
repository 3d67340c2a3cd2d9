// Fetches a list of files the way the download phase does, through the one
// download path (several at once on kept-alive connections), and gives every
// file the server date. Prints the time taken.
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
#include "network/http_download.h"
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

  std::vector<HttpDownload> downloads;
  for (const auto& [name, sha256] : files) {
    HttpDownload download;
    download.url = base + name;
    download.target = outFolder + name;
    download.keptFolder = std::string(argv[3]) + ".partial/";
    download.sha256 = sha256;
    downloads.push_back(download);
  }
  const auto start = std::chrono::steady_clock::now();
  std::int64_t bytes = 0;
  DownloadEvents events;
  events.fetched = [&](std::size_t index) {
    SetFileDateWithRetries(downloads[index].target, serverDate);
    bytes += GetFileSizeByName(downloads[index].target);
  };
  const DownloadEnd end = DownloadFiles(form.Http(), downloads, events);
  if (end.result != DownloadResult::Fetched) {
    std::fprintf(stderr, "failed: %s\n", files[end.index].name.c_str());
    return 1;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%zu files, %lld bytes, %.3f s\n", files.size(), static_cast<long long>(bytes),
              elapsed.count());
  return 0;
}
