#include "base/text_wrap.h"

#include <cstddef>

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The next character boundary after position (UTF-8).
std::size_t NextBoundary(const std::string& text, std::size_t position) {
  ++position;
  while (position < text.size() && IsContinuationByte(text[position])) ++position;
  return position;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The longest start of the word that fits: up to its last separator that
// does when one does (and preferSeparator is set), else up to the last
// character that does; at least one character.
std::size_t FittingPrefix(const TextWidth& width, const std::string& word, int lineWidth,
                          bool preferSeparator) {
  std::size_t fitting = NextBoundary(word, 0);
  std::size_t afterSeparator = 0;
  for (std::size_t end = fitting; end <= word.size(); end = NextBoundary(word, end)) {
    if (width(word.substr(0, end)) > lineWidth) break;
    fitting = end;
    if (IsSeparator(word[end - 1])) afterSeparator = end;
    if (end == word.size()) break;
  }
  return preferSeparator && afterSeparator > 0 && fitting < word.size() ? afterSeparator : fitting;
}

// The pieces of a word each no wider than the line, where characters allow.
std::vector<std::string> SplitWord(const TextWidth& width, std::string word, int lineWidth,
                                   bool preferSeparator) {
  std::vector<std::string> pieces;
  while (width(word) > lineWidth) {
    const std::size_t length = FittingPrefix(width, word, lineWidth, preferSeparator);
    if (length >= word.size()) break;
    pieces.push_back(word.substr(0, length));
    word.erase(0, length);
  }
  pieces.push_back(word);
  return pieces;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t blank = text.find(' ', start);
    words.push_back(text.substr(start, blank - start));
    if (blank == std::string::npos) return words;
    start = blank + 1;
  }
}

}  // namespace

std::vector<std::string> WrapText(const TextWidth& width, const std::string& text, int lineWidth) {
  std::vector<std::string> lines;
  std::string line;
  bool lineStarted = false;
  for (const std::string& word : Words(text)) {
    if (lineStarted && width(line + " " + word) <= lineWidth) {
      line += " " + word;
      continue;
    }
    if (lineStarted) lines.push_back(line);
    std::vector<std::string> pieces = SplitWord(width, word, lineWidth, false);
    line = pieces.back();
    pieces.pop_back();
    lines.insert(lines.end(), pieces.begin(), pieces.end());
    lineStarted = true;
  }
  lines.push_back(line);
  return lines;
}

std::string BreakLongWords(const TextWidth& width, const std::string& text, int lineWidth) {
  std::string broken;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(" \r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string> pieces =
        SplitWord(width, text.substr(start, end - start), lineWidth, true);
    for (std::size_t i = 0; i < pieces.size(); ++i) broken += (i > 0 ? "\r\n" : "") + pieces[i];
    if (end == text.size()) break;
    broken += text[end];
    start = end + 1;
  }
  return broken;
}
