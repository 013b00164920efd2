#include "app/setup_identity.h"

CString ParseApplicationName(const CString& fileName) {
  int first = fileName.Find(u'_');
  int second = first < 0 ? -1 : fileName.Find(u'_', first + 1);
  if (second < 0 || second == first + 1) return CString("Local");
  return fileName.Mid(first + 1, second - first - 1);
}

CString ComposeWorkingFolder(const CString& tempFolder, const CString& applicationName) {
  return tempFolder + "/Corvanel/" + applicationName + "Setup";
}

CString GetCaptionFromFileName(const CString& fileName) {
  int dot = fileName.ReverseFind(u'.');
  return dot < 0 ? fileName : fileName.Left(dot);
}

bool StaysInWorkingFolder(const CString& name) {
  const std::u16string& text = name.str();
  if (!text.empty() && (text[0] == u'/' || text[0] == u'\\')) return false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(u"/\\", start);
    if (end == std::u16string::npos) end = text.size();
    if (text.compare(start, end - start, u"..") == 0) return false;
    start = end + 1;
  }
  return true;
}
