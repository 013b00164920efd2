#include "description/description_crypto.h"

#include <cryptopp/cryptlib.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/osrng.h>
#include <cryptopp/rsa.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/text.h"

namespace {

bool LoadPrivateKey(const std::string& keyText, CryptoPP::RSA::PrivateKey& key) {
  try {
    CryptoPP::StringSource source(keyText, true, new CryptoPP::HexDecoder);
    key.Load(source);
    return true;
  } catch (const CryptoPP::Exception&) {
    return false;
  }
}

bool LoadPublicKey(const std::string& keyText, CryptoPP::RSA::PublicKey& key) {
  CryptoPP::RSA::PrivateKey privateKey;
  if (LoadPrivateKey(keyText, privateKey)) {
    key = CryptoPP::RSA::PublicKey(privateKey);
    return true;
  }
  try {
    CryptoPP::StringSource source(keyText, true, new CryptoPP::HexDecoder);
    key.Load(source);
    return true;
  } catch (const CryptoPP::Exception&) {
    return false;
  }
}

std::string ToHex(const std::string& bytes) {
  std::string hex;
  CryptoPP::StringSource(bytes, true,
                         new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true));
  return hex;
}

}  // namespace

bool ReadDescriptionFile(const CString& path, std::vector<unsigned char>& bytes) {
  bytes.clear();
  const std::string name = ToUtf8(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(name, error)) return false;
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

EDescriptionStatus DecodeDescriptionFile(const CString& path, const std::string& keyText,
                                         std::vector<unsigned char>& plain) {
  plain.clear();
  std::vector<unsigned char> bytes;
  if (!ReadDescriptionFile(path, bytes)) return EDescriptionStatus::kCannotOpen;
  return DecodeDescription(bytes.data(), bytes.size(), keyText, plain);
}

const char* DescribeStatus(EDescriptionStatus status) {
  switch (status) {
    case EDescriptionStatus::kOk:
      return "decoded";
    case EDescriptionStatus::kCannotOpen:
      return "the file is missing or cannot be opened";
    case EDescriptionStatus::kEmptyFile:
      return "the file is empty";
    case EDescriptionStatus::kNoMarker:
      return "the file does not start with the description marker and a zero byte";
    case EDescriptionStatus::kBadKey:
      return "the key is not a valid RSA private key";
    case EDescriptionStatus::kIncompleteBlock:
      return "the ciphertext is not a whole number of blocks";
    case EDescriptionStatus::kBadBlock:
      return "a block fails OAEP decoding (wrong key or damaged block)";
    case EDescriptionStatus::kKeyOperationFailed:
      return "a block's private-key operation fails (a value not below the modulus); the text "
             "before it is kept";
  }
  return "unknown";
}

EDescriptionStatus DecodeDescription(const unsigned char* data, size_t size,
                                     const std::string& keyText,
                                     std::vector<unsigned char>& plain) {
  plain.clear();
  if (size == 0) return EDescriptionStatus::kEmptyFile;
  const size_t header = kDescriptionMarkerLength + 1;
  if (size < header || std::memcmp(data, kDescriptionMarker, kDescriptionMarkerLength) != 0 ||
      data[kDescriptionMarkerLength] != 0) {
    return EDescriptionStatus::kNoMarker;
  }
  const unsigned char* cipher = data + header;
  const size_t cipherSize = size - header;

  bool haveOutput = false;
  size_t decoded = 0;
  try {
    CryptoPP::StringSource source(keyText, true, new CryptoPP::HexDecoder);
    CryptoPP::RSAES_OAEP_SHA_Decryptor decryptor(source);
    const size_t blockLength = decryptor.FixedCiphertextLength();
    const size_t capacity = decryptor.FixedMaxPlaintextLength();
    if (blockLength == 0) return EDescriptionStatus::kBadKey;
    // A trailing part block would be read past the data: treated like a block that fails.
    if (cipherSize % blockLength != 0) return EDescriptionStatus::kIncompleteBlock;

    // The output grows with what each block really yields, so it can never be too small.
    plain.reserve(cipherSize / blockLength * capacity + 1);
    haveOutput = true;
    for (size_t offset = 0; offset < cipherSize; offset += blockLength) {
      CryptoPP::AutoSeededRandomPool random(false, 32);
      const size_t done = plain.size();
      plain.resize(done + capacity);
      CryptoPP::DecodingResult result =
          decryptor.Decrypt(random, cipher + offset, blockLength, plain.data() + done);
      if (!result.isValidCoding || result.messageLength > capacity) {
        plain.clear();
        return EDescriptionStatus::kBadBlock;
      }
      plain.resize(done + result.messageLength);
      decoded = plain.size();
    }
  } catch (const CryptoPP::Exception&) {
    if (!haveOutput) {
      plain.clear();
      return EDescriptionStatus::kBadKey;
    }
    // Cut back to the blocks that decoded before the failing one.
    plain.resize(decoded);
    return EDescriptionStatus::kKeyOperationFailed;
  }
  return EDescriptionStatus::kOk;
}

bool GetKeyGeometry(const std::string& keyText, size_t& blockLength, size_t& capacity,
                    unsigned& modulusBits) {
  CryptoPP::RSA::PublicKey key;
  if (!LoadPublicKey(keyText, key)) return false;
  try {
    CryptoPP::RSAES_OAEP_SHA_Encryptor encryptor(key);
    blockLength = encryptor.FixedCiphertextLength();
    capacity = encryptor.FixedMaxPlaintextLength();
    modulusBits = key.GetModulus().BitCount();
    return blockLength > 0 && capacity > 0;
  } catch (const CryptoPP::Exception&) {
    return false;
  }
}

bool EncryptDescription(const std::vector<unsigned char>& plain, const std::string& keyText,
                        size_t chunk, std::vector<unsigned char>& out, std::string& error) {
  return EncryptDescription(plain, keyText, std::vector<size_t>{chunk}, out, error);
}

bool EncryptDescription(const std::vector<unsigned char>& plain, const std::string& keyText,
                        const std::vector<size_t>& sizes, std::vector<unsigned char>& out,
                        std::string& error) {
  out.clear();
  CryptoPP::RSA::PublicKey key;
  if (!LoadPublicKey(keyText, key)) {
    error = "the key is not a valid RSA key";
    return false;
  }
  try {
    CryptoPP::RSAES_OAEP_SHA_Encryptor encryptor(key);
    const size_t blockLength = encryptor.FixedCiphertextLength();
    const size_t capacity = encryptor.FixedMaxPlaintextLength();
    std::vector<size_t> chunks = sizes;
    if (chunks.empty()) chunks.push_back(0);
    for (size_t& chunk : chunks) {
      if (chunk == 0) chunk = capacity;
      if (chunk > capacity) {
        error = "the chunk size must be 1 to " + std::to_string(capacity);
        return false;
      }
    }
    out.assign(kDescriptionMarker, kDescriptionMarker + kDescriptionMarkerLength);
    out.push_back(0);
    CryptoPP::AutoSeededRandomPool random;
    size_t turn = 0;
    for (size_t offset = 0; offset < plain.size();) {
      const size_t length = std::min(chunks[turn++ % chunks.size()], plain.size() - offset);
      const size_t at = out.size();
      out.resize(at + blockLength);
      encryptor.Encrypt(random, plain.data() + offset, length, out.data() + at);
      offset += length;
    }
    return true;
  } catch (const CryptoPP::Exception& e) {
    error = e.what();
    out.clear();
    return false;
  }
}

std::string GenerateDescriptionKey(unsigned modulusBits) {
  CryptoPP::AutoSeededRandomPool random;
  CryptoPP::RSA::PrivateKey key;
  key.GenerateRandomWithKeySize(random, modulusBits);
  std::string der;
  CryptoPP::StringSink sink(der);
  key.Save(sink);
  return ToHex(der);
}

std::string GetPublicKeyText(const std::string& privateKeyText) {
  CryptoPP::RSA::PrivateKey privateKey;
  if (!LoadPrivateKey(privateKeyText, privateKey)) return std::string();
  CryptoPP::RSA::PublicKey key(privateKey);
  std::string der;
  CryptoPP::StringSink sink(der);
  key.Save(sink);
  return ToHex(der);
}

std::string NormalizeKeyText(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  std::string hex = text.substr(first, last - first);
  for (char& ch : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return std::string();
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  return hex;
}
