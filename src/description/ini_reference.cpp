#include "description/ini_reference.h"

#include "description/folders.h"
#include "description/ini_parser.h"
#include "platform/text.h"
#include "ui/front_end.h"

namespace reference {

int FindTagEnd(const CString& text, const CString& name) {
  CString tag = "[" + name + "]";
  tag.MakeUpper();
  CString copy = text;
  copy.MakeUpper();
  int p = copy.Find(tag);
  return p < 0 ? -1 : p + tag.GetLength();
}

CString GetValueLine(const CString& text, const CString& name, int n) {
  int start = FindTagEnd(text, name);
  if (start == -1) {
    FrontEnd().ShowMessageBox(CString("Ini Parser"), "Tag '" + name + "' not found.", false);
    return CString();
  }
  int stop = text.Find(u'[', start);
  if (stop < 0 || start >= text.GetLength()) stop = text.GetLength();
  CString section = text.Mid(start, stop - start);
  section.Trim();
  int from = 0;
  int to = section.Find(u'\n', from);
  if (to < 0) to = section.GetLength();
  for (int i = 0; i < n; ++i) {
    from = to + 1;
    to = section.Find(u'\n', from);
    if (to < 0) to = section.GetLength();
  }
  CString result;
  if (from < to) result = section.Mid(from, to - from);
  result.Trim();
  return result;
}

void RemoveComments(CString& text) {
  int a = text.Find(CString("//"));
  while (a != -1) {
    int e = text.Find(u'\n', a + 1);
    if (e < 0) e = text.GetLength();
    text = text.Left(a) + text.Mid(e);
    a = text.Find(CString("//"), a);
  }
}

bool ExpandVariables(CString& text) {
  const size_t length = static_cast<size_t>(text.GetLength());
  const CIniParser::CExpansionBounds& bounds = CIniParser::ExpansionBounds();
  const size_t maxReplacements = bounds.replacementsBase + bounds.replacementsPerChar * length;
  const size_t maxInserted = bounds.insertedBase + bounds.insertedPerChar * length;
  size_t replacements = 0;
  size_t inserted = 0;
  int f = text.Find(u'$');
  while (f != -1) {
    int h = text.Find(u'$', f + 1);
    if (h == -1) break;
    CString name = text.Mid(f + 1, h - f - 1);
    CString value;
    if (!ResolveFolderVariable(name, value)) value = GetValueLine(text, name, 0);
    const size_t size = static_cast<size_t>(value.GetLength());
    if (replacements == maxReplacements || inserted + size > maxInserted) return false;
    ++replacements;
    inserted += size;
    text = text.Left(f) + value + text.Mid(h + 1);
    f = text.Find(u'$', f);
  }
  return true;
}

CLoaded LoadBytes(const std::vector<unsigned char>& bytes) {
  CLoaded loaded;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (unit == 0) break;
      loaded.text += unit;
    }
  } else {
    for (unsigned char byte : bytes) {
      if (byte == 0) break;
      loaded.text += AnsiToWide(byte);
    }
  }
  RemoveComments(loaded.text);
  if (!ExpandVariables(loaded.text)) {
    loaded.overflow = true;
    return loaded;
  }
  loaded.endOk = GetValueLine(loaded.text, CString("End"), 0) == "End";
  return loaded;
}

std::vector<CString> WalkFiles(const CString& text) {
  std::vector<CString> entries;
  for (int index = 0;; ++index) {
    CString line = GetValueLine(text, CString("Files to download"), index);
    int arrow = line.Find(CString("->"));
    if (line.IsEmpty() || arrow < 0) break;
    CString remote = line.Left(arrow);
    CString local = line.Mid(arrow + 2);
    remote.Trim();
    local.Trim();
    if (remote.IsEmpty() || local.IsEmpty()) break;
    entries.push_back(remote + " -> " + local);
  }
  return entries;
}

std::vector<CString> WalkSites(const CString& text) {
  std::vector<CString> sites;
  for (int index = 0;; ++index) {
    CString line = GetValueLine(text, CString("Download Sites"), index);
    if (line.IsEmpty()) break;
    line.Trim();
    sites.push_back(line);
  }
  return sites;
}

std::vector<CString> WalkReaderFiles(CIniParser& parser) {
  std::vector<CString> entries;
  CString remote, local;
  for (bool more = parser.GetFirstFile(remote, local); more;
       more = parser.GetNextFile(remote, local)) {
    entries.push_back(remote + " -> " + local);
  }
  return entries;
}

std::vector<CString> WalkReaderSites(CIniParser& parser) {
  std::vector<CString> sites;
  CString site;
  for (bool more = parser.GetFirstSite(site); more; more = parser.GetNextSite(site)) {
    sites.push_back(site);
  }
  return sites;
}

}  // namespace reference
