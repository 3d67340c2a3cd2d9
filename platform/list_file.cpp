#include "platform/list_file.h"

#include "base/strings.h"
#include "base/text_codec.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/replacing_write.h"
#include "platform/retry.h"
#include "platform/whole_file.h"

// ---- Decoding ----

namespace {

std::u16string Utf16FromBytes(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  // An odd trailing byte cannot form a character and is dropped.
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' || text[i] == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace

ListFile DecodeListFile(std::string_view bytes) {
  ListFile file;
  std::string text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    file.encoding = TextEncoding::Utf8;
    text = SanitizeUtf8(bytes.substr(3));
  } else if (bytes.substr(0, 2) == "\xFF\xFE") {
    file.encoding = TextEncoding::Utf16LE;
    text = Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), false));
  } else if (bytes.substr(0, 2) == "\xFE\xFF") {
    file.encoding = TextEncoding::Utf16BE;
    text = Utf16ToUtf8(Utf16FromBytes(bytes.substr(2), true));
  } else {
    file.encoding = TextEncoding::Ansi;
    text = AnsiToUtf8(bytes);
  }
  file.lines = SplitLines(text);
  return file;
}

// ---- Encoding ----

std::string EncodeListFile(const ListFile& file) {
  std::string text;
  for (const std::string& line : file.lines) text += line + "\r\n";
  switch (file.encoding) {
    case TextEncoding::Utf8:
      return "\xEF\xBB\xBF" + text;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
      const bool bigEndian = file.encoding == TextEncoding::Utf16BE;
      std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
      for (char16_t unit : Utf8ToUtf16(text)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
      }
      return bytes;
    }
    case TextEncoding::Ansi:
      break;
  }
  const std::string ansi = Utf8ToAnsi(text);
  // A name the code page cannot hold would come back as "?" and name another
  // file or none: such a file is written as UTF-8 with its byte-order mark.
  if (AnsiToUtf8(ansi) != text) return EncodeListFile({file.lines, TextEncoding::Utf8});
  return ansi;
}

// ---- Files ----

std::optional<ListFile> ReadListFile(const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return DecodeListFile(*bytes);
}

bool SaveListFile(const std::string& path, const ListFile& file) {
  if (FileExists(path)) ClearFileAttributes(path);
  const std::string bytes = EncodeListFile(file);
  for (int attempt = 1; attempt <= kListWriteAttempts; ++attempt) {
    if (WriteFileReplacing(path, bytes)) return true;
    if (attempt < kListWriteAttempts) PauseAnsweringMs(kListWritePauseMs);
  }
  return false;
}

bool ContainsText(const std::vector<std::string>& lines, std::string_view text) {
  for (const std::string& line : lines) {
    if (SameText(line, text)) return true;
  }
  return false;
}
