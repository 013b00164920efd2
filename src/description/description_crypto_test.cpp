#include "description/description_crypto.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "description/ini_parser.h"
#include "support/recording_front_end.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Encrypt(const std::string& plain, const std::vector<size_t>& chunks,
              const std::string& key = kDescriptionKeyText) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(EncryptDescription(ToBytes(plain), key, chunks, out, error)) << error;
  return out;
}

const std::string kText =
    "[Program to run]\nsetup.exe\n\n[Download Sites]\nhost.example/a\n"
    "[Files to download]\n/a.cab -> a.cab\n/b.cab -> b.cab\n"
    "[End]\nEnd\n";

class DescriptionCryptoTest : public ::testing::Test {
 protected:
  std::optional<Bytes> Read(const Bytes& file, const std::string& key = kDescriptionKeyText) {
    WriteFile(m_folder.Sub("d.eif"), ToString(file));
    return CIniParser::ReadEncryptedFile(CString(m_folder.Sub("d.eif")), key.c_str());
  }

  CTempFolder m_folder;
  CRecordingFrontEnd m_recorder;
};

TEST_F(DescriptionCryptoTest, BuiltInKeyHasTheDescriptionGeometry) {
  size_t block = 0, capacity = 0;
  unsigned bits = 0;
  ASSERT_TRUE(GetKeyGeometry(kDescriptionKeyText, block, capacity, bits));
  EXPECT_EQ(block, 128u);
  EXPECT_EQ(capacity, 86u);
  EXPECT_EQ(bits, 1024u);
  EXPECT_EQ(std::string(kDescriptionMarker).size(), kDescriptionMarkerLength);
  for (char ch : std::string(kDescriptionMarker)) EXPECT_TRUE(ch > 0x20 && ch < 0x7F);
}

TEST_F(DescriptionCryptoTest, ChunkingDoesNotChangeTheText) {
  const std::vector<std::vector<size_t>> chunkings = {{86}, {86, 10, 86}, {1}, {7, 86, 3}};
  for (const auto& chunks : chunkings) {
    const Bytes file = Encrypt(kText, chunks);
    std::optional<Bytes> plain = Read(file);
    ASSERT_TRUE(plain) << chunks.size();
    EXPECT_EQ(ToString(*plain), kText);
  }
  // Full blocks only: the decoded size is exact, however many blocks there are.
  const std::string full(86 * 9, 'x');
  std::optional<Bytes> plain = Read(Encrypt(full, {86}));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->size(), full.size());
}

TEST_F(DescriptionCryptoTest, Utf16SplitInsideCodeUnitsLoads) {
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string(u"[Name] caf\u00E9\n[End]\nEnd")) {
    utf16.push_back(static_cast<char>(unit & 0xFF));
    utf16.push_back(static_cast<char>(unit >> 8));
  }
  WriteFile(m_folder.Sub("u.eif"), ToString(Encrypt(utf16, {7})));
  CIniParser parser;
  ASSERT_TRUE(parser.Load(CString(m_folder.Sub("u.eif"))));
  EXPECT_EQ(parser.GetValue(CString("Name")), CString(u"caf\u00E9"));
}

// Every row of the failure table, told apart by what the caller receives.
TEST_F(DescriptionCryptoTest, FailuresGiveNoneOrTheTextBeforeTheFailingBlock) {
  const Bytes good = Encrypt(kText, {40});  // 40 + 40 + ... bytes a block
  const size_t header = kDescriptionMarkerLength + 1;
  const std::string marker(kDescriptionMarker);

  EXPECT_FALSE(
      CIniParser::ReadEncryptedFile(CString(m_folder.Sub("absent.eif")), kDescriptionKeyText));
  EXPECT_FALSE(Read({}));
  EXPECT_FALSE(Read(ToBytes(marker)));  // 13 bytes: no zero byte

  Bytes otherMarker = good;
  otherMarker[5] = static_cast<unsigned char>(otherMarker[5] ^ 0x01);
  EXPECT_FALSE(Read(otherMarker));
  Bytes caseMarker = good;
  caseMarker[0] = static_cast<unsigned char>(std::tolower(caseMarker[0]));
  ASSERT_NE(caseMarker[0], good[0]);
  EXPECT_FALSE(Read(caseMarker));
  Bytes noZero = good;
  noZero[kDescriptionMarkerLength] = ' ';
  EXPECT_FALSE(Read(noZero));

  EXPECT_FALSE(Read(good, "00"));
  EXPECT_FALSE(Read(good, "not hexadecimal"));
  // Under another key of the same size a block either fails OAEP decoding or is not below that
  // key's modulus (which keeps the text before it); take a key for which OAEP is what fails.
  std::string otherKey;
  for (int i = 0; i < 32 && otherKey.empty(); ++i) {
    std::string candidate = GenerateDescriptionKey();
    std::vector<unsigned char> plain;
    if (DecodeDescription(good.data(), good.size(), candidate, plain) ==
        EDescriptionStatus::kBadBlock) {
      otherKey = candidate;
    }
  }
  ASSERT_FALSE(otherKey.empty());
  EXPECT_FALSE(Read(good, otherKey));

  Bytes damaged = good;
  damaged[header + 3 * 128 - 1] ^= 0x01;  // the third block's lowest byte: still below the modulus
  EXPECT_FALSE(Read(damaged));

  Bytes cutShort = good;
  cutShort.pop_back();
  EXPECT_FALSE(Read(cutShort));
  Bytes overlong = good;
  overlong.push_back(0);
  EXPECT_FALSE(Read(overlong));

  Bytes notBelowModulus(good.begin(), good.begin() + header + 2 * 128);
  notBelowModulus.insert(notBelowModulus.end(), 128, 0xFF);
  notBelowModulus.insert(notBelowModulus.end(), good.begin() + header + 2 * 128, good.end());
  std::optional<Bytes> partial = Read(notBelowModulus);
  ASSERT_TRUE(partial);
  EXPECT_EQ(ToString(*partial), kText.substr(0, 80));

  std::optional<Bytes> empty = Read(Bytes(good.begin(), good.begin() + header));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_TRUE(m_recorder.boxes.empty());
}

TEST_F(DescriptionCryptoTest, StatusNamesEachReason) {
  const Bytes good = Encrypt(kText, {86});
  std::vector<unsigned char> plain;
  EXPECT_EQ(DecodeDescription(good.data(), good.size(), kDescriptionKeyText, plain),
            EDescriptionStatus::kOk);
  Bytes cut = good;
  cut.pop_back();
  EXPECT_EQ(DecodeDescription(cut.data(), cut.size(), kDescriptionKeyText, plain),
            EDescriptionStatus::kIncompleteBlock);
  EXPECT_EQ(DecodeDescription(good.data(), good.size(), "ABCD", plain),
            EDescriptionStatus::kBadKey);
  Bytes damaged = good;
  damaged.back() ^= 0x01;
  EXPECT_EQ(DecodeDescription(damaged.data(), damaged.size(), kDescriptionKeyText, plain),
            EDescriptionStatus::kBadBlock);
  EXPECT_TRUE(plain.empty());
}

TEST_F(DescriptionCryptoTest, EncryptedLoadAndPlainTwin) {
  WriteFile(m_folder.Sub("SetupInitial.eif"), ToString(Encrypt(kText, {86})));
  CIniParser parser;
  ASSERT_TRUE(parser.Load(CString(m_folder.Sub("SetupInitial.eif"))));
  EXPECT_EQ(parser.GetValue(CString("Program to run")), CString("setup.exe"));

  // A name ending in ".ini" is plain text even when it opens with the marker.
  WriteFile(m_folder.Sub("marked.ini"), std::string(kDescriptionMarker) + " [End]\nEnd");
  EXPECT_TRUE(parser.Load(CString(m_folder.Sub("marked.ini"))));

  // The marker alone decodes to an empty text: loading fails after the End warning.
  WriteFile(m_folder.Sub("empty.eif"), std::string(kDescriptionMarker) + std::string(1, '\0'));
  EXPECT_FALSE(parser.Load(CString(m_folder.Sub("empty.eif"))));
  ASSERT_EQ(m_recorder.boxes.size(), 1u);
  EXPECT_EQ(m_recorder.boxes[0].text, "Tag 'End' not found.");
}

TEST_F(DescriptionCryptoTest, AnotherKeySizeChangesTheGeometry) {
  const std::string key = GenerateDescriptionKey(2048);
  size_t block = 0, capacity = 0;
  unsigned bits = 0;
  ASSERT_TRUE(GetKeyGeometry(key, block, capacity, bits));
  EXPECT_EQ(block, 256u);
  EXPECT_EQ(capacity, 214u);
  EXPECT_EQ(bits, 2048u);
  const std::string text(500, 'q');
  const Bytes file = Encrypt(text, {214}, key);
  EXPECT_EQ(file.size(), kDescriptionMarkerLength + 1 + 3 * 256);
  std::optional<Bytes> plain = Read(file, key);
  ASSERT_TRUE(plain);
  EXPECT_EQ(ToString(*plain), text);
  // With the built-in key its 256-byte blocks are read as 128-byte halves whose values lie above
  // the smaller modulus (or fail OAEP): nothing of the text comes out.
  std::optional<Bytes> wrongKey = Read(file);
  EXPECT_TRUE(!wrongKey || wrongKey->empty());

  Bytes out;
  std::string error;
  EXPECT_FALSE(EncryptDescription(ToBytes(text), key, 215, out, error));
  EXPECT_FALSE(EncryptDescription(ToBytes(text), "zz", 10, out, error));
  EXPECT_TRUE(EncryptDescription(ToBytes(text), GetPublicKeyText(key), 100, out, error));
  EXPECT_EQ(ToString(*Read(out, key)), text);
}

}  // namespace
