#include "description/ini_parser.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "description/description_crypto.h"
#include "description/folders.h"
#include "platform/text.h"
#include "ui/front_end.h"

namespace {

const char kCaption[] = "Ini Parser";
const char kEndName[] = "End";
const char kFilesName[] = "Files to download";
const char kSitesName[] = "Download Sites";
const char kPlainSuffix[] = ".ini";

void WarnMissingTag(const CString& name) {
  FrontEnd().ShowMessageBox(CString(kCaption), "Tag '" + name + "' not found.",
                            /*ownedByProgressWindow=*/false);
}

char16_t UpperAscii(char16_t ch) {
  return ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - u'a' + u'A') : ch;
}

std::u16string UpperAscii(const std::u16string& text) {
  std::u16string upper(text);
  for (char16_t& ch : upper) ch = UpperAscii(ch);
  return upper;
}

// "[" + name + "]" in upper case: the form in which tags are searched.
std::u16string TagKey(const CString& name) { return UpperAscii(u"[" + name.str() + u"]"); }

// Expands the variables of a text exactly as a plain pass would that rewrites the whole text
// for every variable and looks each tag up afresh from the start, but in time that grows with
// the text rather than with the text times the number of variables.
//
// The text is held as a finished part (everything before the "$" being worked on, which no
// later step can change) and a rest kept reversed, so that taking characters off its front and
// putting a value in front of it are cheap. The bottom of the rest is still a suffix of the
// original text, so tags there are found through an index of the original text; only the part
// that values have put in front of it is searched directly.
//
// A tag whose name holds no bracket can only match a "candidate": a "[", then text without
// brackets, then "]". Both indexes map each candidate (upper-cased) to where it stands: the one
// of the original text is built in one pass, the one of the finished part grows with it. Names
// that hold "[" or "]" are rare and are searched for by scanning.
class CVariableExpander {
 public:
  CVariableExpander(const std::u16string& text, size_t maxReplacements, size_t maxInserted,
                    CIniParser::CExpansionTrace* trace)
      : m_text(text),
        m_textUpper(UpperAscii(text)),
        m_rest(text.rbegin(), text.rend()),
        m_nStatic(text.size()),
        m_nMaxReplacements(maxReplacements),
        m_nMaxInserted(maxInserted),
        m_pTrace(trace) {
    size_t open = std::u16string::npos;
    for (size_t i = 0; i < m_textUpper.size(); ++i) {
      if (m_textUpper[i] == u'[') {
        open = i;
      } else if (m_textUpper[i] == u']' && open != std::u16string::npos) {
        m_textTags[m_textUpper.substr(open, i - open + 1)].push_back(open);
        open = std::u16string::npos;
      }
    }
    m_nWork += 2 * m_textUpper.size();
    if (m_pTrace) {
      m_pTrace->before = text;
      m_pTrace->origins.clear();
      m_pTrace->expandingAt = -1;
      for (size_t i = text.size(); i > 0; --i) m_restOrigins.push_back(static_cast<int>(i - 1));
    }
  }

  size_t Work() const { return m_nWork; }

  // Expands; false when the bound stopped it. result: the text as it stands.
  bool Run(std::u16string& result) {
    bool finished = true;
    size_t replacements = 0;
    size_t inserted = 0;
    while (!m_rest.empty()) {
      const char16_t ch = m_rest.back();
      if (ch != u'$') {
        Finish(ch);
        if (m_pTrace) m_pTrace->origins.push_back(m_restOrigins.back());
        Pop(1);
        continue;
      }
      const size_t top = m_rest.size() - 1;
      size_t partner = top;
      bool found = false;
      while (partner > 0) {
        --partner;
        if (m_rest[partner] == u'$') {
          found = true;
          break;
        }
      }
      if (!found) break;
      std::u16string name(m_rest.rbegin() + 1, m_rest.rbegin() + static_cast<long>(top - partner));
      const int origin = m_pTrace ? m_restOrigins.back() : -1;
      CString value;
      if (!ResolveFolderVariable(CString(name), value)) {
        if (m_pTrace) m_pTrace->expandingAt = origin;
        value = LookUp(CString(name));
        if (m_pTrace) m_pTrace->expandingAt = -1;
      }
      const size_t length = static_cast<size_t>(value.GetLength());
      if (replacements == m_nMaxReplacements || inserted + length > m_nMaxInserted) {
        finished = false;
        break;
      }
      ++replacements;
      inserted += length;
      Pop(top - partner + 1);
      Push(value.str(), origin);
    }
    result = m_done;
    result.append(m_rest.rbegin(), m_rest.rend());
    if (m_pTrace) {
      m_pTrace->origins.insert(m_pTrace->origins.end(), m_restOrigins.rbegin(),
                               m_restOrigins.rend());
    }
    return finished;
  }

 private:
  struct CNameState {
    // Names that hold a bracket: the finished part is scanned.
    size_t scanFrom = 0;    // start positions in the finished part below this hold no match
    long foundInDone = -1;  // a match wholly inside the finished part: final
    // Every name.
    bool indexed = false;
    std::vector<size_t> inText;  // matches in the original text, ascending
    size_t cursor = 0;           // first of inText that may still lie in the rest
  };

  // Moves a character to the end of the finished part, noting a candidate that it completes.
  void Finish(char16_t ch) {
    const size_t position = m_done.size();
    m_done.push_back(ch);
    m_doneUpper.push_back(UpperAscii(ch));
    if (ch == u'[') {
      m_nOpenInDone = position;
    } else if (ch == u']' && m_nOpenInDone != std::u16string::npos) {
      const size_t length = position - m_nOpenInDone + 1;
      m_doneTags.emplace(m_doneUpper.substr(m_nOpenInDone, length), m_nOpenInDone);
      m_nWork += 2 * length;
      m_nOpenInDone = std::u16string::npos;
    }
  }

  size_t Length() const { return m_done.size() + m_rest.size(); }
  size_t PendingLength() const { return m_rest.size() - m_nStatic; }
  char16_t At(size_t i) const {
    return i < m_done.size() ? m_done[i] : m_rest[m_rest.size() - 1 - (i - m_done.size())];
  }

  void Pop(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (m_rest.size() > m_nStatic && m_rest.back() == u'[') --m_nPendingBrackets;
      m_rest.pop_back();
      if (m_pTrace) m_restOrigins.pop_back();
    }
    m_nStatic = std::min(m_nStatic, m_rest.size());
  }

  void Push(const std::u16string& value, int origin) {
    for (auto it = value.rbegin(); it != value.rend(); ++it) {
      if (*it == u'[') ++m_nPendingBrackets;
      m_rest.push_back(*it);
      if (m_pTrace) m_restOrigins.push_back(origin);
    }
  }

  bool MatchesAt(const std::u16string& key, size_t position) const {
    if (position + key.size() > Length()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
      if (UpperAscii(At(position + i)) != key[i]) return false;
    }
    return true;
  }

  // Position of the first "[name]" in the whole current text, or -1.
  long FindTag(const std::u16string& key) {
    CNameState& state = m_names[key];
    const size_t m = key.size();
    m_nWork += m;
    const bool plain = key.find_first_of(u"[]", 1) == m - 1;
    const size_t done = m_done.size();
    if (plain) {
      auto it = m_doneTags.find(key);
      if (it != m_doneTags.end()) return static_cast<long>(it->second);
    } else if (state.foundInDone >= 0) {
      return state.foundInDone;
    } else if (done >= m) {
      m_nWork += done - std::min(done, state.scanFrom);
      size_t p = m_doneUpper.find(key, state.scanFrom);
      if (p != std::u16string::npos) {
        state.foundInDone = static_cast<long>(p);
        return state.foundInDone;
      }
      state.scanFrom = std::max(state.scanFrom, done - m + 1);
    }
    // No match runs from the finished part into the rest: the rest begins with the "$" of the
    // variable being looked up, and a name never holds a "$".
    // Matches that begin in the text that values put in front of the original suffix.
    const size_t pending = PendingLength();
    if (m_nPendingBrackets > 0) {
      m_nWork += pending;
      for (size_t j = 0; j < pending; ++j) {
        if (At(done + j) == u'[' && MatchesAt(key, done + j)) return static_cast<long>(done + j);
      }
    }
    // Matches wholly inside the original suffix.
    if (!state.indexed) {
      state.indexed = true;
      if (plain) {
        auto it = m_textTags.find(key);
        if (it != m_textTags.end()) state.inText = std::move(it->second);
      } else {
        m_nWork += m_textUpper.size();
        for (size_t p = m_textUpper.find(key); p != std::u16string::npos;
             p = m_textUpper.find(key, p + 1)) {
          state.inText.push_back(p);
        }
      }
    }
    const size_t suffixStart = m_text.size() - m_nStatic;
    while (state.cursor < state.inText.size() && state.inText[state.cursor] < suffixStart) {
      ++state.cursor;
    }
    if (state.cursor == state.inText.size()) return -1;
    return static_cast<long>(done + pending + (state.inText[state.cursor] - suffixStart));
  }

  // Line 0 of the value after the tag end, trimmed: the value stops at the next "[".
  CString LineZero(size_t start) {
    const size_t length = Length();
    size_t first = start;
    while (first < length && IsWhiteSpace(At(first))) ++first;
    std::u16string line;
    for (size_t i = first; i < length; ++i) {
      const char16_t ch = At(i);
      if (ch == u'\n' || ch == u'[') break;
      line.push_back(ch);
    }
    m_nWork += first - start + line.size();
    CString value(std::move(line));
    value.TrimRight();
    return value;
  }

  CString LookUp(const CString& name) {
    const std::u16string key = TagKey(name);
    const long position = FindTag(key);
    if (position < 0) {
      WarnMissingTag(name);
      return CString();
    }
    return LineZero(static_cast<size_t>(position) + key.size());
  }

  const std::u16string& m_text;
  const std::u16string m_textUpper;
  std::u16string m_done;
  std::u16string m_doneUpper;
  std::u16string m_rest;  // reversed: its back is the next character
  size_t m_nStatic;       // m_rest[0, m_nStatic) is still the original text's suffix
  size_t m_nPendingBrackets = 0;
  const size_t m_nMaxReplacements;
  const size_t m_nMaxInserted;
  size_t m_nWork = 0;
  CIniParser::CExpansionTrace* m_pTrace;
  std::vector<int> m_restOrigins;  // with a trace: the origin of each character of m_rest
  std::unordered_map<std::u16string, CNameState> m_names;
  // Candidates of the original text, each with its positions (ascending) until a lookup takes
  // them over; candidates of the finished part, each with its first position.
  std::unordered_map<std::u16string, std::vector<size_t>> m_textTags;
  std::unordered_map<std::u16string, size_t> m_doneTags;
  size_t m_nOpenInDone = std::u16string::npos;  // a "[" in the finished part not yet closed
};

}  // namespace

// Lookups over the loaded text: the upper-cased copy, the tag positions asked for so far, and the
// lines of each value, so that walking a list costs one lookup and not one per entry.
struct CIniParser::CIndex {
  std::u16string upper;
  std::unordered_map<std::u16string, int> tagEnds;
  std::unordered_map<int, std::vector<std::pair<int, int>>> lines;
};

CIniParser::CExpansionBounds& CIniParser::ExpansionBounds() {
  static CExpansionBounds bounds;
  return bounds;
}

CIniParser::CIniParser() : m_strKeyText(kDescriptionKeyText) {}

CIniParser::~CIniParser() = default;

void CIniParser::SetDescriptionKey(std::string keyText) { m_strKeyText = std::move(keyText); }

CIniParser::CIndex& CIniParser::Index() {
  if (!m_pIndex) {
    m_pIndex = std::make_unique<CIndex>();
    m_pIndex->upper = UpperAscii(m_strContent.str());
  }
  return *m_pIndex;
}

bool CIniParser::Load(CString name) {
  m_strContent.Empty();
  m_pIndex.reset();
  m_bExpansionOverflow = false;

  CString path = !name.IsEmpty() && name[0] == u'/' ? name : GetApplicationFolder() + name;
  std::optional<std::vector<unsigned char>> bytes =
      path.Right(4) == kPlainSuffix ? ReadPlainFile(path)
                                    : ReadEncryptedFile(path, m_strKeyText.c_str());
  if (!bytes) return false;
  return LoadBytes(*bytes);
}

bool CIniParser::LoadBytes(const std::vector<unsigned char>& bytes) {
  m_pIndex.reset();
  m_bExpansionOverflow = false;
  m_strContent = DecodeText(bytes);
  RemoveComments();
  if (!ExpandVariables()) {
    m_bExpansionOverflow = true;
    return false;
  }
  return GetValue(kEndName) == kEndName;
}

bool CIniParser::HasContent() const { return !m_strContent.IsEmpty(); }

CString CIniParser::DecodeText(const std::vector<unsigned char>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (unit == 0) break;
      text.push_back(unit);
    }
    return CString(std::move(text));
  }
  const auto zero = std::find(bytes.begin(), bytes.end(), 0);
  return DecodeAnsi(bytes.data(), static_cast<size_t>(zero - bytes.begin()));
}

std::optional<std::vector<unsigned char>> CIniParser::ReadPlainFile(CString path) {
  std::vector<unsigned char> bytes;
  if (!ReadDescriptionFile(path, bytes) || bytes.empty()) return std::nullopt;
  return bytes;
}

std::optional<std::vector<unsigned char>> CIniParser::ReadEncryptedFile(CString path,
                                                                        const char* keyText) {
  std::vector<unsigned char> plain;
  const EDescriptionStatus status = DecodeDescriptionFile(path, keyText ? keyText : "", plain);
  if (status != EDescriptionStatus::kOk && status != EDescriptionStatus::kKeyOperationFailed) {
    return std::nullopt;
  }
  return plain;
}

int CIniParser::FindTagEnd(CString name) {
  CIndex& index = Index();
  std::u16string key = TagKey(name);
  auto it = index.tagEnds.find(key);
  if (it != index.tagEnds.end()) return it->second;
  const size_t found = index.upper.find(key);
  const int end = found == std::u16string::npos ? -1 : static_cast<int>(found + key.size());
  index.tagEnds.emplace(std::move(key), end);
  return end;
}

CString CIniParser::GetValueLine(CString name, int n) {
  const int start = FindTagEnd(name);
  if (start < 0) {
    WarnMissingTag(name);
    return CString();
  }
  CIndex& index = Index();
  auto it = index.lines.find(start);
  if (it == index.lines.end()) {
    const std::u16string& text = m_strContent.str();
    size_t stop = text.find(u'[', static_cast<size_t>(start));
    if (stop == std::u16string::npos) stop = text.size();
    size_t first = static_cast<size_t>(start);
    while (first < stop && IsWhiteSpace(text[first])) ++first;
    while (stop > first && IsWhiteSpace(text[stop - 1])) --stop;
    std::vector<std::pair<int, int>> lines;
    size_t from = first;
    while (true) {
      size_t to = text.find(u'\n', from);
      if (to == std::u16string::npos || to > stop) to = stop;
      lines.emplace_back(static_cast<int>(from), static_cast<int>(to - from));
      if (to == stop) break;
      from = to + 1;
    }
    it = index.lines.emplace(start, std::move(lines)).first;
  }
  const std::vector<std::pair<int, int>>& lines = it->second;
  const size_t line = n < 0 ? 0 : static_cast<size_t>(n);
  if (line >= lines.size()) return CString();
  CString value = m_strContent.Mid(lines[line].first, lines[line].second);
  value.Trim();
  return value;
}

CString CIniParser::GetValue(CString name) { return GetValueLine(name, 0); }

bool CIniParser::GetFirstFile(CString& remote, CString& local) {
  m_nFileIndex = 0;
  return GetNextFile(remote, local);
}

bool CIniParser::GetNextFile(CString& remote, CString& local) {
  remote.Empty();
  local.Empty();
  CString line = GetValueLine(kFilesName, m_nFileIndex);
  if (line.IsEmpty()) return false;
  const int arrow = line.Find(CString("->"));
  if (arrow >= 0) {
    remote = line.Left(arrow);
    remote.Trim();
    local = line.Mid(arrow + 2);
    local.Trim();
  }
  ++m_nFileIndex;
  if (remote.IsEmpty() || local.IsEmpty()) {
    remote.Empty();
    local.Empty();
    return false;
  }
  return true;
}

bool CIniParser::GetFirstSite(CString& site) {
  m_nSiteIndex = 0;
  return GetNextSite(site);
}

bool CIniParser::GetNextSite(CString& site) {
  site.Empty();
  CString line = GetValueLine(kSitesName, m_nSiteIndex);
  if (line.IsEmpty()) return false;
  site = line;
  site.Trim();
  ++m_nSiteIndex;
  return true;
}

void CIniParser::RemoveComments() {
  // One pass: each "//" drops the text up to the next line feed, which stays.
  const std::u16string& text = m_strContent.str();
  std::u16string kept;
  kept.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == u'/' && i + 1 < text.size() && text[i + 1] == u'/') {
      const size_t feed = text.find(u'\n', i + 1);
      i = feed == std::u16string::npos ? text.size() : feed;
      continue;
    }
    kept.push_back(text[i++]);
  }
  m_strContent = CString(std::move(kept));
  m_pIndex.reset();
}

bool CIniParser::ExpandVariables() {
  const size_t length = static_cast<size_t>(m_strContent.GetLength());
  const CExpansionBounds& bounds = ExpansionBounds();
  CVariableExpander expander(m_strContent.str(),
                             bounds.replacementsBase + bounds.replacementsPerChar * length,
                             bounds.insertedBase + bounds.insertedPerChar * length, m_pTrace);
  std::u16string result;
  const bool finished = expander.Run(result);
  m_nExpansionWork = expander.Work();
  m_strContent = CString(std::move(result));
  m_pIndex.reset();
  return finished;
}
