// CIniParser: the reader of tag files (setup descriptions and user info files). It loads one
// description into memory and answers the value of a tag and the entries of the two lists.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cstring.h"

class CIniParser {
 public:
  CIniParser();
  virtual ~CIniParser();

  // Reads the file, decodes it, removes comments and expands variables. A name beginning with
  // "/" is a full path; any other is taken in the application folder. A name ending in ".ini"
  // is read as plain text, any other as an encrypted description. True when the text was read
  // and its "End" tag holds "End"; the text stays loaded (HasContent) even when that fails.
  // Also false when variable expansion does not come to an end (a variable that refers to
  // itself, directly or through other tags): the expansion stops after a bounded amount.
  bool Load(CString name);
  // The part of Load that follows the reading: decodes bytes already read (as ReadPlainFile or
  // ReadEncryptedFile give them), removes comments, expands variables and tests "End". For a
  // caller that has the bytes in hand already; Load itself goes through it.
  bool LoadBytes(const std::vector<unsigned char>& bytes);
  bool HasContent() const;

  // Line 0 of the tag's value, trimmed. A missing tag shows the warning box "Tag '<name>' not
  // found." (caption "Ini Parser") and gives empty text.
  CString GetValue(CString name);
  // Line n (from 0) of the tag's value, trimmed; empty when the line does not exist.
  CString GetValueLine(CString name, int n);

  // The "Files to download" entries, remote path "->" local name. First restarts the list.
  // True when the current entry has both parts; false ends the list. Both outs are set.
  bool GetFirstFile(CString& remote, CString& local);
  bool GetNextFile(CString& remote, CString& local);
  // The "Download Sites" lines. True with a non-empty site; false ends the list.
  bool GetFirstSite(CString& site);
  bool GetNextSite(CString& site);

  // The decoded bytes of an encrypted description, or nullopt (no message either way): for a
  // file that cannot be read or is empty, a wrong opening, an unusable key, a ciphertext that is
  // not a whole number of blocks, or a block that fails OAEP decoding. A block whose private-key
  // operation raises an error ends the text there: the bytes before it are returned. keyText:
  // the hexadecimal text of a DER PKCS #8 RSA private key.
  static std::optional<std::vector<unsigned char>> ReadEncryptedFile(CString path,
                                                                     const char* keyText);
  // The bytes of a regular file, or nullopt when it cannot be read or is empty.
  static std::optional<std::vector<unsigned char>> ReadPlainFile(CString path);

  // The key that Load hands to ReadEncryptedFile; the built-in description key unless the
  // vendor's tool sets another.
  void SetDescriptionKey(std::string keyText);
  // A record of variable expansion, for a tool that reports positions in the file as written.
  struct CExpansionTrace {
    // The text after comments, before expansion: its lines are the lines of the file.
    std::u16string before;
    // For each character of the expanded text: its position in before, or, for a character
    // that a variable brought in, the position of that variable's "$" (of the outermost one
    // when values hold variables in turn).
    std::vector<int> origins;
    // While a variable is looked up (and a missing tag warns): the position in before of its
    // "$"; -1 otherwise.
    int expandingAt = -1;
  };
  // Loads fill trace from now on; nullptr (the default) records nothing.
  void SetExpansionTrace(CExpansionTrace* trace) { m_pTrace = trace; }
  // True when the last Load stopped expanding variables at the bound.
  bool ExpansionOverflowed() const { return m_bExpansionOverflow; }
  // The characters that the last expansion's tag lookups examined: a measure of its work that
  // grows with the text, not with the text times the number of distinct variables. For tests.
  size_t ExpansionWork() const { return m_nExpansionWork; }

  // Bounds of one expansion pass: replacements, and characters inserted by replacements, each
  // a fixed amount plus a multiple of the text's length before expansion. Process-wide; tests
  // lower them.
  struct CExpansionBounds {
    size_t replacementsBase = 1000;
    size_t replacementsPerChar = 4;
    size_t insertedBase = size_t{1} << 16;
    size_t insertedPerChar = 16;
  };
  static CExpansionBounds& ExpansionBounds();

 protected:
  // Position just after the tag's closing bracket in m_strContent, or -1.
  int FindTagEnd(CString name);
  void RemoveComments();
  // Expands variables; false when the bound stopped it.
  bool ExpandVariables();
  // Decodes bytes as rule 1 of the format says: UTF-16LE after FF FE, else Windows-1252, each
  // up to the first zero unit.
  static CString DecodeText(const std::vector<unsigned char>& bytes);

  CString m_strContent;
  int m_nFileIndex = 0;
  int m_nSiteIndex = 0;

 private:
  struct CIndex;
  CIndex& Index();

  std::string m_strKeyText;
  bool m_bExpansionOverflow = false;
  size_t m_nExpansionWork = 0;
  CExpansionTrace* m_pTrace = nullptr;
  // Lookup caches over m_strContent, built on demand and dropped by Load.
  std::unique_ptr<CIndex> m_pIndex;
};
