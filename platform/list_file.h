// List files (configuration, uninstall list, job file, internet shortcuts):
// lines of text kept with the encoding they were read in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct ListFile {
  std::vector<std::string> lines;
  TextEncoding encoding = TextEncoding::Ansi;
};

// A byte-order mark selects UTF-8 or UTF-16; otherwise the ANSI code page.
// Lines end at CR LF, LF or CR.
ListFile DecodeListFile(std::string_view bytes);
// The encoding read (with its byte-order mark), CR LF after every line; text
// the ANSI code page cannot hold makes an ANSI file UTF-8 with a mark.
std::string EncodeListFile(const ListFile& file);

std::optional<ListFile> ReadListFile(const std::string& path);
// Clears the file's attributes, then tries up to 101 times, 10 ms apart.
bool SaveListFile(const std::string& path, const ListFile& file);

// Case-insensitive (locale) membership test used for path lists.
bool ContainsText(const std::vector<std::string>& lines, std::string_view text);
