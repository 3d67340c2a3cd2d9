// What arrived of a download that did not complete, kept for a later attempt
// of this run or of the next one: its bytes and the validator of the version
// they came from. It lives beside the download folder, which only ever holds
// whole files (what it holds may be installed), under a name made from the
// file's place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "network/http_client.h"
#include "platform/sha256.h"

class PartialDownload {
 public:
  PartialDownload(const std::string& downloadFolder, const std::string& target);

  // The kept bytes opened for appending the rest, and where the request may
  // continue; without a validator, or with as many bytes as the whole file,
  // they are dropped first. nullptr when the file cannot be opened.
  std::FILE* Open(std::int64_t expectedSize, HttpResume& resume);
  // After an attempt that did not complete: the validator of the body it
  // wrote, if it wrote one.
  void Keep(const std::optional<std::string>& validator);
  // The whole file takes its place in the download folder.
  bool Complete();
  // The first `length` kept bytes added to the hash; false when unreadable.
  bool HashKept(Sha256& hash, std::int64_t length) const;
  // Bytes that proved not to be the release's go.
  void Discard();

 private:
  std::string folder_;
  std::string bytes_;
  std::string validator_;
  std::string target_;
};

// Every kept download of the folder goes (all its files have arrived).
void RemovePartialDownloads(const std::string& downloadFolder);
