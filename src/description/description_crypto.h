// The encryption of setup descriptions: a marker, a zero byte and RSA-OAEP (SHA-1) blocks under
// the description key. The reader decodes; the encoder and the key generator serve the vendor's
// tool and the tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/cstring.h"

// The 13 printable ASCII characters that open every encrypted description.
extern const char kDescriptionMarker[];
constexpr size_t kDescriptionMarkerLength = 13;
// The built-in description key: upper-case hexadecimal text of a DER PKCS #8 PrivateKeyInfo.
extern const char kDescriptionKeyText[];

// Why a description did or did not decode. Callers of the reader see only "bytes or none";
// the vendor's tool tells the reasons apart.
enum class EDescriptionStatus {
  kOk,                  // every block decoded
  kCannotOpen,          // missing or unreadable file
  kEmptyFile,           // a file of length 0
  kNoMarker,            // shorter than the marker and its zero byte, or another opening
  kBadKey,              // the key text is not a valid RSA private key
  kIncompleteBlock,     // the ciphertext length is not a whole number of blocks
  kBadBlock,            // a block failed OAEP decoding (wrong key or damaged block)
  kKeyOperationFailed,  // the private-key operation raised an error; the text before it is kept
};

// Reads a whole regular file. False when it cannot be opened or read.
bool ReadDescriptionFile(const CString& path, std::vector<unsigned char>& bytes);
// Reads and decodes an encrypted description file (kCannotOpen, kEmptyFile, or as below).
EDescriptionStatus DecodeDescriptionFile(const CString& path, const std::string& keyText,
                                         std::vector<unsigned char>& plain);

// A line of text that names the status, for the vendor's tool.
const char* DescribeStatus(EDescriptionStatus status);

// Decodes the bytes of an encrypted description. The decoded text is in plain (possibly
// partial for kKeyOperationFailed, empty otherwise on failure). Bytes are kept and returned for
// kOk and kKeyOperationFailed; any other status means "none".
EDescriptionStatus DecodeDescription(const unsigned char* data, size_t size,
                                     const std::string& keyText, std::vector<unsigned char>& plain);

// The geometry of a key: block (ciphertext) length and block capacity (largest plain chunk).
// keyText may hold a private key (PKCS #8) or a public key (X.509 SubjectPublicKeyInfo).
// False when the text is not a valid RSA key of either form.
bool GetKeyGeometry(const std::string& keyText, size_t& blockLength, size_t& capacity,
                    unsigned& modulusBits);

// Encrypts plain in chunks of at most chunk plain bytes (1 to the capacity) under the public
// half of the key (keyText private or public) and writes marker, zero byte and blocks to out.
// False with a reason in error for an unusable key or chunk size.
bool EncryptDescription(const std::vector<unsigned char>& plain, const std::string& keyText,
                        size_t chunk, std::vector<unsigned char>& out, std::string& error);

// As above, with chunk sizes taken from sizes in turn (repeating), for descriptions whose block
// boundaries fall at uneven places.
bool EncryptDescription(const std::vector<unsigned char>& plain, const std::string& keyText,
                        const std::vector<size_t>& sizes, std::vector<unsigned char>& out,
                        std::string& error);

// A new RSA private key with a modulus of the given bits, as the upper-case hexadecimal text of
// its DER PKCS #8 PrivateKeyInfo.
std::string GenerateDescriptionKey(unsigned modulusBits = 1024);
// The public half of a private key as upper-case hexadecimal DER SubjectPublicKeyInfo; empty
// when the key does not load.
std::string GetPublicKeyText(const std::string& privateKeyText);

// The key text with white space around it removed; empty when what remains is not hexadecimal.
std::string NormalizeKeyText(const std::string& text);
