// The user info file that the downloader leaves in the working folder for the final setup: a
// tag file in UTF-16LE with a byte order mark and line feeds only.
#pragma once

#include <ctime>
#include <string>

#include "platform/cstring.h"

// The values of the file, in the order they are written.
struct CUserInfo {
  CString programPath;
  CString workingFolder;
  CString downloadSite;
  CString startMenuFolder;
  CString desktopFolder;
  CString myDocumentsFolder;
  CString applicationName;
  CString installationTime;
};

// The whole text: the comment line, each tag with its value and an empty line, then the End
// tag. Values are written as they are, nothing escaped.
CString BuildUserInfoText(const CUserInfo& info);

// FF FE and the text's code units, low byte first; no terminating zero.
std::string EncodeUtf16LeWithMark(const CString& text);

// The time in UTC as "%d-%m-%Y %H:%M:%S"; empty when it cannot be converted.
CString FormatInstallationTime(std::time_t when);
// The current time, whole seconds, formatted as above.
CString GetInstallationTime();

// Creates the file (or cuts an existing one to length 0) and writes the bytes. False when it
// cannot be created and when any write or the closing fails.
bool WriteWholeFile(const CString& path, const std::string& bytes);
