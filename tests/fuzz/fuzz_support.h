// Shared pieces of the reader's fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "description/ini_parser.h"
#include "ui/front_end.h"

// A front end whose boxes return at once; it keeps the texts of the boxes shown.
class CQuietFrontEnd : public CFrontEnd {
 public:
  CQuietFrontEnd() { SetFrontEnd(this); }
  ~CQuietFrontEnd() override { SetFrontEnd(nullptr); }
  void ShowMessageBox(const CString& caption, const CString& text, bool) override;
  void CreateProgressWindow() override {}
  void SetProgressRange(int64_t) override {}
  void AdvanceProgress(uint64_t) override {}
  void LeaveTopBand() override {}
  void DestroyProgressWindow() override {}

  std::vector<std::u16string> boxes;
};

// Writes the input to a file of this process with the given suffix and returns its path.
std::string WriteInput(const uint8_t* data, size_t size, const char* suffix);

// Asks the loaded reader for every tag the downloader reads and walks both lists to the end.
void Exercise(CIniParser& parser);

// One fuzz input: written to a file with the suffix (".ini" for a plain tag file, any other for
// an encrypted description), loaded by a fresh reader and exercised; the reader's boxes are
// collected quietly.
int FuzzLoadFile(const uint8_t* data, size_t size, const char* suffix);
