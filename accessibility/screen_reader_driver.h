// One screen reader behind the six operations the dispatcher uses.
#pragma once

#include <string>

class TScreenReaderDriver {
 public:
  TScreenReaderDriver(std::string name, bool speech, bool braille)
      : FName(std::move(name)), FHasSpeech(speech), FHasBraille(braille) {}
  virtual ~TScreenReaderDriver() = default;

  virtual bool Speak(const std::string& s, bool interrupt) = 0;
  virtual bool Braille(const std::string& s) = 0;
  virtual bool IsSpeaking() = 0;
  virtual bool Silence() = 0;
  virtual bool IsActive() = 0;
  virtual bool Output(const std::string& s, bool interrupt) = 0;

  const std::string& Name() const { return FName; }
  bool HasSpeech() const { return FHasSpeech; }
  bool HasBraille() const { return FHasBraille; }

 private:
  std::string FName;
  bool FHasSpeech;
  bool FHasBraille;
};
