// Build-time helper: checks a description key file and writes the header that embeds its text.
// Usage: embed_key KEYFILE HEADER. A key that is not a valid RSA private key (DER PKCS #8
// PrivateKeyInfo as hexadecimal text), or whose modulus is shorter than 1024 bits, fails the
// build with a message that names the file.
#include <cryptopp/cryptlib.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/osrng.h>
#include <cryptopp/rsa.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr unsigned kMinimumModulusBits = 1024;

int Fail(const std::string& keyFile, const std::string& why) {
  std::fprintf(stderr, "SETUP_KEY_FILE %s: %s\n", keyFile.c_str(), why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: embed_key KEYFILE HEADER\n");
    return 2;
  }
  const std::string keyFile = argv[1];
  std::ifstream in(keyFile, std::ios::binary);
  if (!in) return Fail(keyFile, "cannot be read");
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();

  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  std::string hex = text.substr(first, last - first);
  if (hex.empty()) return Fail(keyFile, "holds no key text");
  for (char& ch : hex) {
    if (!std::isxdigit(static_cast<unsigned char>(ch))) {
      return Fail(keyFile, "is not hexadecimal text (only white space may surround the digits)");
    }
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  if (hex.size() % 2 != 0) return Fail(keyFile, "has an odd number of hexadecimal digits");

  unsigned bits = 0;
  try {
    CryptoPP::StringSource source(hex, true, new CryptoPP::HexDecoder);
    CryptoPP::RSA::PrivateKey key;
    key.Load(source);
    CryptoPP::AutoSeededRandomPool random;
    if (!key.Validate(random, 3)) {
      return Fail(keyFile, "is not a valid RSA private key (the key fails its consistency checks)");
    }
    bits = key.GetModulus().BitCount();
  } catch (const CryptoPP::Exception& e) {
    return Fail(keyFile, std::string("is not a valid RSA private key in DER PKCS #8 form (") +
                             e.what() + ")");
  }
  if (bits < kMinimumModulusBits) {
    return Fail(keyFile, "has a modulus of " + std::to_string(bits) +
                             " bits; at least 1024 bits are required");
  }

  std::string header =
      "// Generated at build time from the description key file; do not edit.\n"
      "#pragma once\n"
      "#define SETUP_DESCRIPTION_KEY_BITS " +
      std::to_string(bits) + "\n#define SETUP_DESCRIPTION_KEY_TEXT \\\n";
  for (size_t i = 0; i < hex.size(); i += 96) {
    header += "  \"" + hex.substr(i, 96) + "\"" + (i + 96 < hex.size() ? " \\\n" : "\n");
  }

  // Rewrite only on change, so that an unchanged key rebuilds nothing.
  std::ifstream old(argv[2], std::ios::binary);
  std::stringstream oldText;
  if (old) oldText << old.rdbuf();
  if (oldText.str() == header) return 0;
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << header;
  if (!out.flush()) {
    std::fprintf(stderr, "embed_key: cannot write %s\n", argv[2]);
    return 2;
  }
  return 0;
}
