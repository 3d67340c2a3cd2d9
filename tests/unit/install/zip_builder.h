// Writes ZIP archives for the tests with libzip, hostile ones included: names
// are stored as given, with or without the UTF-8 flag.
#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct ZipEntrySpec {
  std::string name;  // stored bytes
  std::string data;
  // ZIP_FL_ENC_UTF_8 sets the UTF-8 flag for non-ASCII names;
  // ZIP_FL_ENC_CP437 stores bytes that are no valid UTF-8 unflagged.
  zip_flags_t nameEncoding = ZIP_FL_ENC_UTF_8;
  zip_int32_t method = ZIP_CM_DEFLATE;
  bool isFolder = false;
  std::optional<std::uint16_t> dosDate;  // with dosTime
  std::uint16_t dosTime = 0;
  std::optional<std::uint32_t> dosAttributes;  // made on a DOS host
  std::optional<std::uint32_t> unixMode;       // made on a Unix host
};

inline ZipEntrySpec ZipFile(const std::string& name, const std::string& data) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

inline ZipEntrySpec ZipFolder(const std::string& name) {
  ZipEntrySpec entry;
  entry.name = name;
  entry.isFolder = true;
  return entry;
}

inline void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr) << "zip_open " << error;
  for (const ZipEntrySpec& entry : entries) {
    zip_int64_t index;
    if (entry.isFolder) {
      index = zip_dir_add(archive, entry.name.c_str(), entry.nameEncoding);
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
      index = zip_file_add(archive, entry.name.c_str(), source, entry.nameEncoding);
      if (index < 0) zip_source_free(source);
    }
    ASSERT_GE(index, 0) << entry.name << ": " << zip_strerror(archive);
    const auto i = static_cast<zip_uint64_t>(index);
    if (!entry.isFolder) {
      ASSERT_EQ(zip_set_file_compression(archive, i, entry.method, 0), 0);
    }
    if (entry.dosDate) {
      ASSERT_EQ(zip_file_set_dostime(archive, i, entry.dosTime, *entry.dosDate, 0), 0);
    }
    if (entry.unixMode) {
      ASSERT_EQ(zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX,
                                                 (0100000u | *entry.unixMode) << 16),
                0);
    }
    if (entry.dosAttributes) {
      ASSERT_EQ(
          zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_DOS, *entry.dosAttributes), 0);
    }
  }
  ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

// Clears the UTF-8 flag (bit 11) of every header, as a packer that knows
// nothing of it would leave UTF-8 bytes. Only for small test archives whose
// data holds no header signature.
inline void ClearUtf8Flags(const std::string& path) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::pair<std::string, std::size_t> headers[] = {{std::string("PK\x03\x04", 4), 7},
                                                         {std::string("PK\x01\x02", 4), 9}};
  for (const auto& [signature, flagHighByte] : headers) {
    for (std::size_t at = bytes.find(signature); at != std::string::npos;
         at = bytes.find(signature, at + 1)) {
      bytes[at + flagHighByte] = static_cast<char>(bytes[at + flagHighByte] & ~0x08);
    }
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
