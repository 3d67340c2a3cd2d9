// One screen reader behind the six operations the dispatcher uses.
#pragma once

#include <string>

class TScreenReaderDriver {
 public:
  TScreenReaderDriver(std::string name, bool speech, bool braille)
      : FName(std::move(name)), FHasSpeech(speech), FHasBraille(braille) {}
  virtual ~TScreenReaderDriver() = default;
  TScreenReaderDriver(const TScreenReaderDriver&) = delete;
  TScreenReaderDriver& operator=(const TScreenReaderDriver&) = delete;

  // True when the text was handed over; an empty text never is.
  virtual bool Speak(const std::string& s, bool interrupt) = 0;
  virtual bool Braille(const std::string& s) = 0;
  // Neither screen reader is asked: always false.
  virtual bool IsSpeaking();
  // True when speech was stopped.
  virtual bool Silence() = 0;
  // The screen reader runs and can be reached.
  virtual bool IsActive() = 0;
  // Speak, then Braille, always both; true when either succeeded.
  virtual bool Output(const std::string& s, bool interrupt);

  const std::string& Name() const { return FName; }
  bool HasSpeech() const { return FHasSpeech; }
  bool HasBraille() const { return FHasBraille; }

 private:
  std::string FName;
  bool FHasSpeech;
  bool FHasBraille;
};
