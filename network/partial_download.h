// What arrived of a download that did not complete, kept for a later attempt
// of this run or of the next one: its bytes and a record of the version they
// came from (validator, whole size) and of the bytes themselves (length,
// SHA-256), so that bytes changed since they were written are never
// continued. They live in a folder of the updater's own, apart from where
// whole files land, under a name made from the target's place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "base/failure.h"

#include "network/http_resume.h"
#include "platform/sha256.h"

class PartialDownload {
 public:
  PartialDownload(const std::string& keptFolder, const std::string& target);
  ~PartialDownload();
  PartialDownload(const PartialDownload&) = delete;
  PartialDownload& operator=(const PartialDownload&) = delete;

  // Opens the kept bytes for appending. Where their record still vouches for
  // them (a validator; the same length and digest; short of a whole size
  // that agrees with the listed one), `resume` says where to continue and
  // `hash` holds their hash; else they are dropped and both start afresh.
  // Why the file cannot be opened; nullopt when it is.
  std::optional<Failure> Open(std::int64_t listedSize, HttpResume& resume, Sha256& hash);
  std::FILE* File() const { return file_; }
  const std::string& Path() const { return bytes_; }
  // After an attempt that did not complete: `kept` says what the file holds
  // and `hash` is their hash. Recorded when a later attempt or run may
  // continue them, else the bytes go; returns where the next attempt
  // continues.
  HttpResume Keep(const HttpResume& kept, const Sha256& hash);
  // The whole file takes the target's place; `durable`: written through to
  // the disk first. Why it did not; nullopt when it did.
  std::optional<Failure> Complete(bool durable);
  // The bytes go.
  void Discard();

 private:
  bool WriteRecord(const HttpResume& kept, const std::string& digest) const;

  std::string folder_;
  std::string bytes_;
  std::string record_;
  std::string target_;
  std::FILE* file_ = nullptr;
};
