#include "base/pe_version_resource.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "base/text_codec.h"

// Offsets are kept in 64 bits: the sums of 32-bit file fields must not wrap
// on the 32-bit Windows build, where size_t is 32 bits wide.

// ---- Little-endian reads ----

namespace {

std::optional<std::uint16_t> U16At(std::string_view bytes, std::uint64_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
  const auto at = static_cast<std::size_t>(offset);
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::optional<std::uint32_t> U32At(std::string_view bytes, std::uint64_t offset) {
  const auto low = U16At(bytes, offset);
  const auto high = U16At(bytes, offset + 2);
  if (!low || !high) return std::nullopt;
  return static_cast<std::uint32_t>(*low) | static_cast<std::uint32_t>(*high) << 16;
}

// ---- PE headers and sections ----

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint64_t kCoffHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;

struct PeImage {
  std::string_view bytes;
  std::uint64_t sectionTable = 0;
  std::uint16_t sectionCount = 0;
  std::uint32_t resourceRva = 0;
};

std::optional<PeImage> ReadPeHeaders(std::string_view bytes) {
  if (bytes.substr(0, 2) != "MZ") return std::nullopt;
  const auto peOffset = U32At(bytes, 0x3C);
  if (!peOffset || U32At(bytes, *peOffset) != kPeSignature) return std::nullopt;

  const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
  const auto sectionCount = U16At(bytes, coff + 2);
  const auto optionalSize = U16At(bytes, coff + 16);
  const std::uint64_t optional = coff + kCoffHeaderSize;
  const auto magic = U16At(bytes, optional);
  if (!sectionCount || !optionalSize || !magic) return std::nullopt;

  // The two optional-header layouts differ only in where the directories start.
  std::uint64_t directoryCountField;
  if (*magic == kPe32Magic) {
    directoryCountField = 92;
  } else if (*magic == kPe32PlusMagic) {
    directoryCountField = 108;
  } else {
    return std::nullopt;
  }
  const std::uint64_t resourceEntry = directoryCountField + 4 + 8 * kResourceDirectoryIndex;
  const auto directoryCount = U32At(bytes, optional + directoryCountField);
  if (!directoryCount || *directoryCount <= kResourceDirectoryIndex ||
      resourceEntry + 8 > *optionalSize) {
    return std::nullopt;
  }
  const auto resourceRva = U32At(bytes, optional + resourceEntry);
  if (!resourceRva || *resourceRva == 0) return std::nullopt;

  return PeImage{bytes, optional + *optionalSize, *sectionCount, *resourceRva};
}

// The file bytes from an address of the loaded image to the end of the raw
// data of the section holding it.
std::optional<std::string_view> ViewAtRva(const PeImage& image, std::uint32_t rva) {
  for (std::uint64_t i = 0; i < image.sectionCount; ++i) {
    const std::uint64_t header = image.sectionTable + i * kSectionHeaderSize;
    const auto virtualSize = U32At(image.bytes, header + 8);
    const auto virtualAddress = U32At(image.bytes, header + 12);
    const auto rawSize = U32At(image.bytes, header + 16);
    const auto rawOffset = U32At(image.bytes, header + 20);
    if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return std::nullopt;

    const std::uint64_t span = std::max(*virtualSize, *rawSize);
    if (rva < *virtualAddress || rva - *virtualAddress >= span) continue;
    // Beyond the raw data the loader fills zeros; the file holds nothing.
    const std::uint64_t delta = rva - *virtualAddress;
    if (delta >= *rawSize) return std::nullopt;
    const std::uint64_t begin = std::uint64_t{*rawOffset} + delta;
    const std::uint64_t end =
        std::min<std::uint64_t>(std::uint64_t{*rawOffset} + *rawSize, image.bytes.size());
    if (begin >= end) return std::nullopt;
    return image.bytes.substr(static_cast<std::size_t>(begin),
                              static_cast<std::size_t>(end - begin));
  }
  return std::nullopt;
}

// ---- Resource directory ----

constexpr std::uint32_t kSubdirectoryFlag = 0x80000000;
constexpr std::uint32_t kVersionResourceType = 16;
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kDirectoryEntrySize = 8;

// The data field of the entry with the given id in the directory at
// directoryOffset, or of its first entry when no id is given. Named entries
// have the high bit set and so never match an id.
std::optional<std::uint32_t> DirectoryEntry(std::string_view tree, std::uint64_t directoryOffset,
                                            std::optional<std::uint32_t> id) {
  const auto namedCount = U16At(tree, directoryOffset + 12);
  const auto idCount = U16At(tree, directoryOffset + 14);
  if (!namedCount || !idCount) return std::nullopt;
  const std::uint64_t count = std::uint64_t{*namedCount} + *idCount;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t entry = directoryOffset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
    const auto name = U32At(tree, entry);
    const auto data = U32At(tree, entry + 4);
    if (!name || !data) return std::nullopt;
    if (!id || *name == *id) return data;
  }
  return std::nullopt;
}

// Type 16, first name, first language: where Windows looks for it.
std::optional<std::string_view> FindVersionResource(const PeImage& image) {
  const auto tree = ViewAtRva(image, image.resourceRva);
  if (!tree) return std::nullopt;

  const auto nameDirectory = DirectoryEntry(*tree, 0, kVersionResourceType);
  if (!nameDirectory || !(*nameDirectory & kSubdirectoryFlag)) return std::nullopt;
  const auto languageDirectory = DirectoryEntry(*tree, *nameDirectory & ~kSubdirectoryFlag, {});
  if (!languageDirectory || !(*languageDirectory & kSubdirectoryFlag)) return std::nullopt;
  const auto dataEntry = DirectoryEntry(*tree, *languageDirectory & ~kSubdirectoryFlag, {});
  if (!dataEntry || (*dataEntry & kSubdirectoryFlag)) return std::nullopt;

  const auto dataRva = U32At(*tree, *dataEntry);
  const auto dataSize = U32At(*tree, std::uint64_t{*dataEntry} + 4);
  if (!dataRva || !dataSize) return std::nullopt;
  const auto data = ViewAtRva(image, *dataRva);
  if (!data || *dataSize > data->size()) return std::nullopt;
  return data->substr(0, *dataSize);
}

// ---- Version information tree ----

// One block of VS_VERSIONINFO: length, value length, type, NUL-terminated
// UTF-16 key, value, children, each part padded to 32 bits. Offsets are
// relative to the start of the resource, which the padding refers to.
struct VersionNode {
  std::u16string key;
  std::uint16_t valueLength = 0;  // UTF-16 units for text, else bytes
  std::uint64_t valueBegin = 0;
  std::uint64_t childrenBegin = 0;
  std::uint64_t end = 0;
};

constexpr std::uint16_t kTextValueType = 1;
constexpr std::uint64_t kNodeHeaderSize = 6;

std::uint64_t AlignTo4(std::uint64_t offset) { return (offset + 3) & ~std::uint64_t{3}; }

std::optional<VersionNode> ReadNode(std::string_view resource, std::uint64_t begin,
                                    std::uint64_t limit) {
  const auto length = U16At(resource, begin);
  const auto valueLength = U16At(resource, begin + 2);
  const auto type = U16At(resource, begin + 4);
  if (!length || !valueLength || !type || *length < kNodeHeaderSize || begin + *length > limit) {
    return std::nullopt;
  }
  VersionNode node;
  node.valueLength = *valueLength;
  node.end = begin + *length;

  std::uint64_t position = begin + kNodeHeaderSize;
  for (;;) {
    const auto unit = position + 2 <= node.end ? U16At(resource, position) : std::nullopt;
    if (!unit) return std::nullopt;  // key without its NUL
    position += 2;
    if (*unit == 0) break;
    node.key += static_cast<char16_t>(*unit);
  }
  node.valueBegin = std::min(AlignTo4(position), node.end);
  const std::uint64_t valueBytes =
      *type == kTextValueType ? 2 * std::uint64_t{node.valueLength} : node.valueLength;
  node.childrenBegin = std::min(AlignTo4(node.valueBegin + valueBytes), node.end);
  return node;
}

char16_t FoldAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::optional<VersionNode> FindChild(std::string_view resource, const VersionNode& parent,
                                     std::u16string_view key) {
  std::uint64_t position = parent.childrenBegin;
  while (position < parent.end) {
    auto child = ReadNode(resource, position, parent.end);
    if (!child) return std::nullopt;
    if (SameKey(child->key, key)) return child;
    position = AlignTo4(child->end);  // a node is at least 6 bytes: always advances
  }
  return std::nullopt;
}

// "%04X%04X" of the first Translation entry: language, then code page.
std::optional<std::u16string> FirstTranslationTableName(std::string_view resource,
                                                        const VersionNode& root) {
  const auto varInfo = FindChild(resource, root, u"VarFileInfo");
  if (!varInfo) return std::nullopt;
  const auto translation = FindChild(resource, *varInfo, u"Translation");
  if (!translation || translation->valueLength < 4 ||
      translation->valueBegin + 4 > translation->end) {
    return std::nullopt;
  }
  const auto language = U16At(resource, translation->valueBegin);
  const auto codePage = U16At(resource, translation->valueBegin + 2);
  if (!language || !codePage) return std::nullopt;
  char name[9];
  std::snprintf(name, sizeof name, "%04X%04X", static_cast<unsigned>(*language),
                static_cast<unsigned>(*codePage));
  return std::u16string(name, name + 8);
}

// The stored length counts the NUL, but compilers disagree on it: read no
// further than the block and stop at the first NUL.
std::string TextValue(std::string_view resource, const VersionNode& node) {
  const std::uint64_t available = (node.end - node.valueBegin) / 2;
  const std::uint64_t units = std::min<std::uint64_t>(node.valueLength, available);
  std::u16string text;
  for (std::uint64_t i = 0; i < units; ++i) {
    const auto unit = U16At(resource, node.valueBegin + 2 * i);
    if (!unit || *unit == 0) break;
    text += static_cast<char16_t>(*unit);
  }
  return Utf16ToUtf8(text);
}

}  // namespace

// ---- Lookup ----

std::string ReadVersionString(std::string_view peBytes, std::string_view key) {
  const auto image = ReadPeHeaders(peBytes);
  if (!image) return {};
  const auto resource = FindVersionResource(*image);
  if (!resource) return {};

  const auto root = ReadNode(*resource, 0, resource->size());
  if (!root || !SameKey(root->key, u"VS_VERSION_INFO")) return {};
  const auto tableName = FirstTranslationTableName(*resource, *root);
  if (!tableName) return {};
  const auto stringInfo = FindChild(*resource, *root, u"StringFileInfo");
  if (!stringInfo) return {};
  const auto table = FindChild(*resource, *stringInfo, *tableName);
  if (!table) return {};
  const auto entry = FindChild(*resource, *table, Utf8ToUtf16(key));
  if (!entry) return {};
  return TextValue(*resource, *entry);
}
