#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "../support/temp_folder.h"

namespace {

constexpr char kHashOfA[] = "ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";
constexpr char kHashOfAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kHashOfNothing[] =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string HashOf(const std::string& data) {
  Sha256 hash;
  hash.Add(data.data(), data.size());
  return hash.HexDigest();
}

}  // namespace

TEST(Sha256, KnownAnswersWholeAndInUnevenPieces) {
  struct Case {
    const char* name;
    std::string data;
    const char* digest;
  };
  const Case cases[] = {
      {"empty", "", kHashOfNothing},
      {"abc", "abc", kHashOfAbc},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"a million a", std::string(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  // Pieces smaller than, equal to and larger than the 64-byte block.
  const std::size_t pieceSizes[] = {1, 7, 64, 65, 1000, 65537};
  for (const Case& c : cases) {
    EXPECT_EQ(HashOf(c.data), c.digest) << c.name;

    Sha256 pieces;
    std::size_t done = 0;
    for (std::size_t i = 0; done < c.data.size(); ++i) {
      const std::size_t size =
          std::min(pieceSizes[i % std::size(pieceSizes)], c.data.size() - done);
      pieces.Add(c.data.data() + done, size);
      done += size;
    }
    EXPECT_EQ(pieces.HexDigest(), c.digest) << c.name;
  }
}

TEST(Sha256, DigestsCopiesAndAssignmentsLeaveEachHashGoingOnByItself) {
  Sha256 hash;
  hash.Add("a", 1);
  EXPECT_EQ(hash.HexDigest(), kHashOfA);
  EXPECT_EQ(hash.HexDigest(), kHashOfA);

  Sha256 copy(hash);
  hash.Add("bc", 2);
  EXPECT_EQ(hash.HexDigest(), kHashOfAbc);
  EXPECT_EQ(copy.HexDigest(), kHashOfA);

  copy = hash;
  hash.Add("d", 1);
  EXPECT_EQ(copy.HexDigest(), kHashOfAbc);

  // A download that starts again starts its hash again.
  hash = Sha256();
  EXPECT_EQ(hash.HexDigest(), kHashOfNothing);
  copy = std::move(hash);
  EXPECT_EQ(copy.HexDigest(), kHashOfNothing);
}

TEST(Sha256, FilesAreHashedUpToTheLengthAskedFor) {
  TempFolder folder;
  // Longer than the piece a file is read in.
  std::string data(600'000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
  folder.Write("data.bin", data);
  const std::string path = folder.Path() + "data.bin";

  EXPECT_EQ(Sha256OfFile(path), HashOf(data));
  EXPECT_EQ(Sha256OfFile(folder.Path() + "missing.bin"), std::nullopt);

  struct Case {
    std::int64_t length;
    bool complete;
  };
  const std::int64_t size = static_cast<std::int64_t>(data.size());
  for (const Case& c :
       {Case{0, true}, Case{300'000, true}, Case{size, true}, Case{size + 1, false}}) {
    // The file's bytes go on from what the hash holds, as a resumed download's do.
    std::string expected = "x";
    Sha256 hash;
    hash.Add(expected.data(), expected.size());
    EXPECT_EQ(AddFileToHash(hash, path, c.length), c.complete) << c.length;
    if (c.complete) {
      expected.append(data, 0, static_cast<std::size_t>(c.length));
      EXPECT_EQ(hash.HexDigest(), HashOf(expected)) << c.length;
    }
  }
}
