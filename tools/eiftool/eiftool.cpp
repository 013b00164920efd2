// eiftool: the vendor's tool for setup descriptions. It makes keys, encrypts and decrypts
// descriptions, and checks and shows them as the downloader reads them.
//
// Exit codes: 0 success, 1 problems found (or a file that does not decode), 2 usage or I/O error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "description/description_crypto.h"
#include "description/ini_parser.h"
#include "platform/text.h"
#include "ui/front_end.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

using Bytes = std::vector<unsigned char>;

struct COptions {
  std::vector<std::string> args;  // positional arguments after the command
  std::string keyFile;            // --key
  std::string keyText;            // the key's text: the file's, or the built-in key
  size_t chunk = 0;               // --chunk, 0 for the block capacity
  bool chunkGiven = false;
};

struct CCommand {
  const char* name;
  const char* usage;
  const char* summary;
  size_t minArgs;
  size_t maxArgs;
  int (*run)(const COptions&);
};

int Usage(const char* message) {
  std::fprintf(stderr, "eiftool: %s (see eiftool --help)\n", message);
  return kExitUsage;
}

int IoError(const std::string& message) {
  std::fprintf(stderr, "eiftool: %s\n", message.c_str());
  return kExitUsage;
}

bool ReadBytes(const std::string& path, Bytes& bytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

// The downloader takes a name without a leading "/" in its own folder; the tool takes it in the
// current folder, as a person at the command line expects.
CString FullPath(const std::string& path) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  return CString(error ? path : full.string());
}

// The reader with a view of its text, for checking and showing. It records how variables were
// expanded, so that a position in the text it holds maps back to a line of the file.
class CToolParser : public CIniParser {
 public:
  CToolParser() { SetExpansionTrace(&m_trace); }
  CToolParser(const CToolParser&) = delete;
  CToolParser& operator=(const CToolParser&) = delete;

  const CString& Content() const { return m_strContent; }
  const CExpansionTrace& Trace() const { return m_trace; }
  int TagEnd(const CString& name) { return FindTagEnd(name); }
  int FileIndex() const { return m_nFileIndex; }
  int SiteIndex() const { return m_nSiteIndex; }
  static CString Decode(const Bytes& bytes) { return DecodeText(bytes); }

 private:
  CExpansionTrace m_trace;
};

// Line numbers (from 1) of the file as written. Comment removal keeps every line feed, so the
// lines of the text before expansion are the file's lines; a character that a variable brought
// in counts on the line of that variable's "$".
class CLineMap {
 public:
  explicit CLineMap(const CIniParser::CExpansionTrace& trace) : m_origins(trace.origins) {
    m_lineAt.reserve(trace.before.size() + 1);
    int line = 1;
    for (char16_t ch : trace.before) {
      m_lineAt.push_back(line);
      line += ch == u'\n';
    }
    m_lineAt.push_back(line);
  }
  // The line of a position in the text before expansion.
  int LineOfOriginal(int position) const {
    if (position < 0) return 0;
    return m_lineAt[std::min(static_cast<size_t>(position), m_lineAt.size() - 1)];
  }
  // The line of a position in the text the reader holds (its end: the last line).
  int LineOf(int position) const {
    if (position >= 0 && static_cast<size_t>(position) < m_origins.size()) {
      return LineOfOriginal(m_origins[static_cast<size_t>(position)]);
    }
    return m_lineAt.back();
  }

 private:
  const std::vector<int>& m_origins;
  std::vector<int> m_lineAt;
};

// The lines of a tag's value as the reader counts them, with the line number of each.
struct CValueLines {
  std::vector<CString> lines;
  std::vector<int> numbers;
};

CValueLines ValueLines(CToolParser& parser, const CLineMap& map, const CString& name) {
  CValueLines result;
  const CString& text = parser.Content();
  const int start = parser.TagEnd(name);
  if (start < 0) return result;
  int stop = text.Find(u'[', start);
  if (stop < 0) stop = text.GetLength();
  int first = start;
  while (first < stop && IsWhiteSpace(text[first])) ++first;
  CString section = text.Mid(first, stop - first);
  section.TrimRight();
  int from = 0;
  while (true) {
    int to = section.Find(u'\n', from);
    if (to < 0) to = section.GetLength();
    CString line = section.Mid(from, to - from);
    result.lines.push_back(line.Trim());
    result.numbers.push_back(map.LineOf(first + from));
    if (to >= section.GetLength()) break;
    from = to + 1;
  }
  return result;
}

// A text on one output line: line breaks (a variable's name may span lines) are shown escaped.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char ch : text) {
    if (ch == '\n') {
      line += "\\n";
    } else if (ch == '\r') {
      line += "\\r";
    } else {
      line += ch;
    }
  }
  return line;
}

// Takes the reader's warning boxes instead of showing them, noting for each whether a variable
// was being expanded, and gives them as lines once the text's lines are known.
class CBoxLines : public CFrontEnd {
 public:
  explicit CBoxLines(const CToolParser& parser) : m_parser(parser) { SetFrontEnd(this); }
  ~CBoxLines() override { SetFrontEnd(nullptr); }
  void ShowMessageBox(const CString& caption, const CString& text, bool) override {
    m_boxes.push_back({ToUtf8(caption) + ": " + ToUtf8(text), m_parser.Trace().expandingAt});
  }
  void CreateProgressWindow() override {}
  void SetProgressRange(int64_t) override {}
  void AdvanceProgress(uint64_t) override {}
  void LeaveTopBand() override {}
  void DestroyProgressWindow() override {}

  // Forgets the boxes shown so far outside variable expansion. Right after a load that is the
  // warning of the load's own "End" lookup, for a caller that reports a missing End itself.
  void DropOutsideVariables() {
    m_boxes.erase(std::remove_if(m_boxes.begin(), m_boxes.end(),
                                 [](const CBox& box) { return box.variableAt < 0; }),
                  m_boxes.end());
  }

  // Appends the boxes shown so far to lines, and forgets them. A missing tag met while expanding
  // a variable is reported with the line of its "$".
  void MoveTo(std::vector<std::string>& lines, const CLineMap& map) {
    for (const CBox& box : m_boxes) {
      if (box.variableAt >= 0) {
        lines.push_back("line " + std::to_string(map.LineOfOriginal(box.variableAt)) +
                        ": unresolved variable: " + OneLine(box.text));
      } else {
        lines.push_back(OneLine(box.text));
      }
    }
    m_boxes.clear();
  }

 private:
  struct CBox {
    std::string text;
    int variableAt;  // the "$" of the variable being expanded, or -1
  };
  const CToolParser& m_parser;
  std::vector<CBox> m_boxes;
};

bool LeavesWorkingFolder(const CString& name) {
  if (name.IsEmpty()) return false;
  if (name[0] == u'/' || name[0] == u'\\' || (name.GetLength() > 1 && name[1] == u':')) return true;
  CString part;
  for (int i = 0; i <= name.GetLength(); ++i) {
    if (i == name.GetLength() || name[i] == u'/' || name[i] == u'\\') {
      if (part.Trim() == "..") return true;
      part.Empty();
    } else {
      part += name[i];
    }
  }
  return false;
}

std::string KeyGeometryText(const std::string& keyText) {
  size_t block = 0, capacity = 0;
  unsigned bits = 0;
  if (!GetKeyGeometry(keyText, block, capacity, bits)) return "unknown";
  return std::to_string(bits) + "-bit modulus, " + std::to_string(block) +
         "-byte blocks of at most " + std::to_string(capacity) + " plain bytes";
}

int RunKeygen(const COptions& options) {
  const std::string& path = options.args[0];
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    return IoError(path + " exists; a key file is never overwritten");
  }
  const std::string key = GenerateDescriptionKey(1024) + "\n";
  if (!WriteBytes(path, Bytes(key.begin(), key.end()))) return IoError("cannot write " + path);
  std::printf("wrote a new key to %s (%s)\n", path.c_str(), KeyGeometryText(key).c_str());
  return kExitOk;
}

int RunEncrypt(const COptions& options) {
  Bytes plain;
  if (!ReadBytes(options.args[0], plain)) return IoError("cannot read " + options.args[0]);
  const std::string& out = options.args[1];
  if (out.size() >= 4 && out.compare(out.size() - 4, 4, ".ini") == 0) {
    return Usage("an encrypted description must not have a name ending in \".ini\"");
  }
  size_t block = 0, capacity = 0;
  unsigned bits = 0;
  if (!GetKeyGeometry(options.keyText, block, capacity, bits)) {
    return IoError("the key is not a valid RSA key");
  }
  if (options.chunkGiven && (options.chunk < 1 || options.chunk > capacity)) {
    return Usage(("--chunk must be 1 to " + std::to_string(capacity)).c_str());
  }
  Bytes encrypted;
  std::string error;
  if (!EncryptDescription(plain, options.keyText, options.chunk, encrypted, error)) {
    return IoError(error);
  }
  if (!WriteBytes(out, encrypted)) return IoError("cannot write " + out);
  return kExitOk;
}

int RunDecrypt(const COptions& options) {
  Bytes plain;
  const EDescriptionStatus status =
      DecodeDescriptionFile(CString(options.args[0]), options.keyText, plain);
  if (status == EDescriptionStatus::kCannotOpen) return IoError("cannot read " + options.args[0]);
  if (status != EDescriptionStatus::kOk && status != EDescriptionStatus::kKeyOperationFailed) {
    std::fprintf(stderr, "%s: does not decode: %s\n", options.args[0].c_str(),
                 DescribeStatus(status));
    return kExitProblems;
  }
  if (options.args.size() > 1) {
    if (!WriteBytes(options.args[1], plain)) return IoError("cannot write " + options.args[1]);
  } else {
    std::fwrite(plain.data(), 1, plain.size(), stdout);
    std::fflush(stdout);
  }
  if (status == EDescriptionStatus::kKeyOperationFailed) {
    std::fprintf(stderr, "%s: decodes only in part: %s\n", options.args[0].c_str(),
                 DescribeStatus(status));
    return kExitProblems;
  }
  return kExitOk;
}

bool IsPlainName(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".ini") == 0;
}

// Loads as the downloader does, reading (and decrypting) the file once: bytes receives what the
// reader's own file functions give, and the parser loads them through the passes of Load. False,
// with the exit code set, when the file gives no text at all: it cannot be read (printed as an
// I/O error), is empty, or does not decode (printed with the reason, on the stream given: dump
// keeps standard output for the text). An encrypted file that decodes only in part adds a line
// to notes.
bool LoadForTool(const COptions& options, CToolParser& parser, Bytes& bytes, bool& loaded,
                 int& exitCode, std::vector<std::string>& notes, FILE* reasons) {
  const std::string& path = options.args[0];
  const CString full = FullPath(path);
  bytes.clear();
  if (IsPlainName(path)) {
    if (!ReadDescriptionFile(full, bytes)) {
      exitCode = IoError("cannot read " + path);
      return false;
    }
    if (bytes.empty()) {
      std::fprintf(reasons, "%s: the file is empty\n", path.c_str());
      exitCode = kExitProblems;
      return false;
    }
  } else {
    const EDescriptionStatus status = DecodeDescriptionFile(full, options.keyText, bytes);
    if (status == EDescriptionStatus::kCannotOpen) {
      exitCode = IoError("cannot read " + path);
      return false;
    }
    if (status == EDescriptionStatus::kKeyOperationFailed) {
      notes.push_back(path + ": decodes only in part: " + DescribeStatus(status));
    } else if (status != EDescriptionStatus::kOk) {
      std::fprintf(reasons, "%s: does not decode: %s\n", path.c_str(), DescribeStatus(status));
      exitCode = kExitProblems;
      return false;
    }
  }
  loaded = parser.LoadBytes(bytes);
  return true;
}

const char* const kReadTags[] = {"Download Sites", "Files to download", "User Info Filename",
                                 "Program to run"};

int RunCheck(const COptions& options) {
  std::vector<std::string> problems;
  CToolParser parser;
  CBoxLines boxes(parser);
  Bytes bytes;
  bool loaded = false;
  int exitCode = kExitOk;
  if (!LoadForTool(options, parser, bytes, loaded, exitCode, problems, stdout)) return exitCode;
  auto report = [&problems](int line, const std::string& text) {
    problems.push_back(line > 0 ? "line " + std::to_string(line) + ": " + text : text);
  };
  if (parser.ExpansionOverflowed()) {
    report(0,
           "variables do not come to an end: a variable refers to itself, directly or "
           "through other tags");
  }
  const CString& text = parser.Content();
  const CLineMap lines(parser.Trace());
  boxes.DropOutsideVariables();  // a missing End is reported below, once
  boxes.MoveTo(problems, lines);

  // The terminator.
  const int endAt = parser.TagEnd(CString("End"));
  if (endAt < 0) {
    report(0, "no [End] tag");
  } else {
    CValueLines end = ValueLines(parser, lines, CString("End"));
    if (end.lines[0] != "End") {
      report(end.numbers[0], "[End] holds \"" + ToUtf8(end.lines[0]) + "\" instead of \"End\"");
    }
  }
  for (const char* tag : kReadTags) {
    if (parser.TagEnd(CString(tag)) < 0) report(0, std::string("missing tag [") + tag + "]");
  }

  // A "[" after value text on its line ends the value there and opens a tag.
  bool valueOnLine = false;
  bool inTag = false;
  for (int i = 0; i < text.GetLength(); ++i) {
    const char16_t ch = text[i];
    if (ch == u'\n') {
      valueOnLine = false;
    } else if (inTag) {
      inTag = ch != u']';
    } else if (ch == u'[') {
      if (valueOnLine)
        report(lines.LineOf(i), "a \"[\" cuts the value short; the rest is read as a tag");
      inTag = true;
    } else if (!IsWhiteSpace(ch)) {
      valueOnLine = true;
    }
  }

  // "//" straight after value text: a comment where a value was meant (such as a scheme).
  {
    const CString decoded = CToolParser::Decode(bytes);
    int rawLine = 1;
    for (int i = 0; i < decoded.GetLength(); ++i) {
      if (decoded[i] == u'\n') {
        ++rawLine;
      } else if (decoded[i] == u'/' && i + 1 < decoded.GetLength() && decoded[i + 1] == u'/') {
        if (i > 0 && !IsWhiteSpace(decoded[i - 1])) {
          report(rawLine, "\"//\" inside a value starts a comment (write sites without a scheme)");
        }
        while (i + 1 < decoded.GetLength() && decoded[i + 1] != u'\n') ++i;
      }
    }
  }

  // The lists, walked with the reader's own functions: the downloader stops at the first call
  // that gives false, and a call that moved the cursor met a line that is no entry.
  const CString filesName("Files to download");
  if (parser.TagEnd(filesName) >= 0) {
    const CValueLines files = ValueLines(parser, lines, filesName);
    CString remote, local;
    int before = 0;
    bool more = parser.GetFirstFile(remote, local);
    while (more) {
      if (LeavesWorkingFolder(local)) {
        report(files.numbers[static_cast<size_t>(before)],
               "local name \"" + ToUtf8(local) + "\" leaves the working folder");
      }
      before = parser.FileIndex();
      more = parser.GetNextFile(remote, local);
    }
    if (parser.FileIndex() > before) {
      const CString entry = files.lines[static_cast<size_t>(before)];
      report(files.numbers[static_cast<size_t>(before)],
             "entry \"" + ToUtf8(entry) + "\" " +
                 (entry.Find(CString("->")) < 0 ? "has no \"->\"" : "has an empty side") +
                 "; the downloader stops here");
    } else {
      for (size_t i = static_cast<size_t>(before) + 1; i < files.lines.size(); ++i) {
        if (!files.lines[i].IsEmpty()) {
          report(files.numbers[i], "entries after a blank line in [Files to download] are ignored");
          break;
        }
      }
    }
  }
  const CString sitesName("Download Sites");
  if (parser.TagEnd(sitesName) >= 0) {
    const CValueLines sites = ValueLines(parser, lines, sitesName);
    CString site;
    for (bool more = parser.GetFirstSite(site); more; more = parser.GetNextSite(site)) {
    }
    for (size_t i = static_cast<size_t>(parser.SiteIndex()) + 1; i < sites.lines.size(); ++i) {
      if (!sites.lines[i].IsEmpty()) {
        report(sites.numbers[i], "entries after a blank line in [Download Sites] are ignored");
        break;
      }
    }
  }
  for (const char* tag : {"User Info Filename", "Program to run"}) {
    if (parser.TagEnd(CString(tag)) < 0) continue;
    const CValueLines value = ValueLines(parser, lines, CString(tag));
    if (LeavesWorkingFolder(value.lines[0])) {
      report(value.numbers[0], std::string("[") + tag + "] \"" + ToUtf8(value.lines[0]) +
                                   "\" leaves the working folder");
    }
  }

  boxes.MoveTo(problems, lines);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (problems.empty()) std::printf("%s: no problems found\n", options.args[0].c_str());
  return problems.empty() ? kExitOk : kExitProblems;
}

int RunDump(const COptions& options) {
  std::vector<std::string> warnings;
  CToolParser parser;
  CBoxLines boxes(parser);
  Bytes bytes;
  bool loaded = false;
  int exitCode = kExitOk;
  if (!LoadForTool(options, parser, bytes, loaded, exitCode, warnings, stderr)) return exitCode;
  std::string out = ToUtf8(parser.Content());
  if (!out.empty() && out.back() != '\n') out += '\n';
  out += "--- Files to download\n";
  CString remote, local, site;
  for (bool more = parser.GetFirstFile(remote, local); more;
       more = parser.GetNextFile(remote, local)) {
    out += ToUtf8(remote) + " -> " + ToUtf8(local) + "\n";
  }
  out += "--- Download Sites\n";
  for (bool more = parser.GetFirstSite(site); more; more = parser.GetNextSite(site)) {
    out += ToUtf8(site) + "\n";
  }
  std::fputs(out.c_str(), stdout);
  boxes.MoveTo(warnings, CLineMap(parser.Trace()));
  for (const std::string& warning : warnings) std::fprintf(stderr, "%s\n", warning.c_str());
  return loaded ? exitCode : kExitProblems;
}

const CCommand kCommands[] = {
    {"keygen", "KEYFILE", "write a new RSA-1024 description key as hexadecimal text", 1, 1,
     RunKeygen},
    {"encrypt", "PLAIN OUT [--chunk N]",
     "encrypt a tag file, N plain bytes a block (1 to the block capacity)", 2, 2, RunEncrypt},
    {"decrypt", "IN [OUT]", "decode a description to OUT or standard output", 1, 2, RunDecrypt},
    {"check", "FILE", "load a description as the downloader does and report its problems", 1, 1,
     RunCheck},
    {"dump", "FILE", "show the text as the downloader holds it, then each list entry", 1, 1,
     RunDump},
};

void PrintHelp() {
  std::printf(
      "usage: eiftool COMMAND [ARGS] [--key KEYFILE]\n\n"
      "Prepares and checks setup descriptions. A name ending in \".ini\" is a plain tag file;\n"
      "any other name is an encrypted description.\n\ncommands:\n");
  for (const CCommand& command : kCommands) {
    std::printf("  %-8s %-22s %s\n", command.name, command.usage, command.summary);
  }
  std::printf(
      "\noptions:\n"
      "  --key KEYFILE  the key as hexadecimal text (default: the built-in description key;\n"
      "                 encrypt also takes a public key)\n"
      "  --help         this text\n\n"
      "exit codes: 0 success, 1 problems found, 2 usage or I/O error\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp();
    return kExitOk;
  }
  const CCommand* command = nullptr;
  for (const CCommand& candidate : kCommands) {
    if (std::strcmp(argv[1], candidate.name) == 0) command = &candidate;
  }
  if (!command) return Usage((std::string("unknown command ") + argv[1]).c_str());

  COptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      PrintHelp();
      return kExitOk;
    } else if (arg == "--key") {
      if (i + 1 == argc) return Usage("--key needs a file");
      options.keyFile = argv[++i];
    } else if (arg == "--chunk" && std::strcmp(command->name, "encrypt") == 0) {
      if (i + 1 == argc) return Usage("--chunk takes a number");
      const std::string value = argv[++i];
      char* end = nullptr;
      const unsigned long chunk = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != 0 || value[0] == '-') return Usage("--chunk takes a number");
      options.chunk = chunk;
      options.chunkGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else {
      options.args.push_back(arg);
    }
  }
  if (options.args.size() < command->minArgs || options.args.size() > command->maxArgs) {
    return Usage((std::string(command->name) + " takes " + command->usage).c_str());
  }
  if (options.keyFile.empty()) {
    options.keyText = kDescriptionKeyText;
  } else {
    Bytes bytes;
    if (!ReadBytes(options.keyFile, bytes)) return IoError("cannot read " + options.keyFile);
    options.keyText = NormalizeKeyText(std::string(bytes.begin(), bytes.end()));
    if (options.keyText.empty()) return IoError(options.keyFile + " holds no hexadecimal key");
  }
  return command->run(options);
}
