// CIniParser: the reader of tag files (setup descriptions and user info files). It loads one
// description into memory and answers the value of a tag and the entries of the two lists.
#pragma once

#include <optional>
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
  bool Load(CString name);
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

  // The decoded bytes of an encrypted description, or nullopt. keyText: the hexadecimal text of
  // a DER PKCS #8 RSA private key.
  static std::optional<std::vector<unsigned char>> ReadEncryptedFile(CString path,
                                                                     const char* keyText);
  static std::optional<std::vector<unsigned char>> ReadPlainFile(CString path);

 protected:
  CString m_strContent;
  int m_nFileIndex = 0;
  int m_nSiteIndex = 0;
};
