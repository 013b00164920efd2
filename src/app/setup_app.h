// The application object: it runs the whole program from InitInstance, from the progress
// window to the removal of the working folder.
#pragma once

#include "description/ini_parser.h"
#include "download/downloader.h"
#include "platform/cstring.h"
#include "ui/download_dlg.h"

class CSetupApp {
 public:
  virtual ~CSetupApp() = default;

  // Start-up, the setup flow, the user info file, the hand-over to the final setup and the
  // clean-up. Always returns false: no event loop follows, and the process ends with 0.
  bool InitInstance();

  // Gets the description and every listed file into workingFolder, reporting each failure in a
  // message box. True when every listed file is there; downloadSite receives the chosen site
  // (empty when nothing is listed). progressWindow may be null.
  bool RunSetupFlow(CString applicationName, CString workingFolder, CDownloadDlg* progressWindow,
                    CString& downloadSite);

  // The first "Download Sites" line that serves the first listed file with more than 1000
  // bytes, or empty text.
  CString ChooseDownloadSite();

  // Writes the user info file named by "User Info Filename" of the loaded description into
  // targetFolder. False when it cannot be created or written whole, and for a name that would
  // leave the folder.
  bool WriteUserInfoFile(CString targetFolder, CString programPath, CString workingFolder,
                         CString downloadSite, CString applicationName, CString installationTime);

  // The reader with the description loaded last.
  CIniParser& GetParser() { return m_parser; }

 private:
  // One of the driver's warning boxes, captioned with the program's name.
  void ShowSetupMessage(const CString& text);
  // Shows the message and gives false, for the failures of the flow.
  bool FailWith(const CString& text);
  void CopyApplicationFolder(const CString& workingFolder);
  // Starts "Program to run", takes the window down and waits for the program to end.
  void HandOverToFinalSetup(const CString& workingFolder);

  CDownloadDlg m_dlgProgress;
  CIniParser m_parser;
  CDownloader m_downloader;
};
