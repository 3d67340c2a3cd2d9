// Processes, named mutexes and pauses (platform port).
#pragma once

#include <memory>
#include <string>
#include <vector>

// A named mutex held from creation until Close or destruction. Names compare
// case-sensitively and live in one namespace per user; a holder that dies
// releases it.
class NamedMutex {
 public:
  // Created with initial ownership. AlreadyExisted tells that another holder
  // has it; Valid is false when it could not be made at all.
  static NamedMutex Create(const std::string& name);
  NamedMutex();
  NamedMutex(NamedMutex&&) noexcept;
  NamedMutex& operator=(NamedMutex&&) noexcept;
  ~NamedMutex();
  bool Valid() const;
  bool AlreadyExisted() const;
  void Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// True when a mutex of that name is held by anyone (empty name: false).
// Leaves nothing behind.
bool MutexExists(const std::string& name);

// Starts a program detached, shown normally, with a parameter string split
// like a Windows command line.
bool StartProgram(const std::string& file, const std::string& parameters);

// The program's arguments as UTF-8, argument 0 first (on Windows taken from
// the wide command line, not from argv).
std::vector<std::string> GetCommandLineArguments(int argc, char** argv);

// The updater's own executable path (argument 0 as the system knows it).
std::string GetExecutablePath();
