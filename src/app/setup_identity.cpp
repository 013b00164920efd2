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
