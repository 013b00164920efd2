#include "fileops/split_path.h"

void SplitPath(CString path, CString& folder, CString& name) {
  path.Replace(u'\\', u'/');
  int slash = path.ReverseFind(u'/');
  if (slash < 0) {
    folder.Empty();
    name = path;
    return;
  }
  folder = path.Left(slash + 1);
  name = path.Mid(slash + 1);
}

CString JoinFolderAndName(const CString& folder, const CString& name) {
  if (!folder.IsEmpty() && folder[folder.GetLength() - 1] == u'/') return folder + name;
  return folder + u'/' + name;
}
