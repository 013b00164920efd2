#include "app/setup_app.h"

#include <cstdint>
#include <limits>

#include "app/default_host.h"
#include "app/folder_listing.h"
#include "app/progress_scale.h"
#include "app/setup_identity.h"
#include "app/user_info.h"
#include "app/working_folder.h"
#include "description/folders.h"
#include "download/remote_size.h"
#include "fileops/file_ops.h"
#include "fileops/split_path.h"
#include "platform/network.h"
#include "platform/process.h"
#include "platform/system.h"
#include "ui/front_end.h"

namespace {

const char kDescriptionName[] = "SetupInitial.eif";
// A description or a test file must be larger than this to count as present on a server.
constexpr uint64_t kMinimumServedSize = 1000;

const char kNoConnection[] = "Error: No Internet connection.";
const char kSiteNotFound[] = "Error: Download site not found.";

// A name from the description inside the working folder. Descriptions may be written with "\"
// between folders; here it is "/", so that every step names the same file.
CString InWorkingFolder(const CString& workingFolder, CString name) {
  name.Replace(u'\\', u'/');
  return workingFolder + "/" + name;
}

uint64_t AddSaturating(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

CString ProgramCaption() {
  CString folder, fileName;
  SplitPath(GetRunningProgramPath(), folder, fileName);
  return GetCaptionFromFileName(fileName);
}

}  // namespace

bool CSetupApp::InitInstance() {
  m_dlgProgress.Create();

  CString programPath = GetRunningProgramPath();
  SetApplicationFolder(programPath);
  SetCurrentFolder(GetApplicationFolder());

  CString folder, fileName;
  SplitPath(programPath, folder, fileName);
  CString applicationName = ParseApplicationName(fileName);
  CString workingFolder = ComposeWorkingFolder(GetTempFolder(), applicationName);

  CString downloadSite;
  if (RunSetupFlow(applicationName, workingFolder, &m_dlgProgress, downloadSite)) {
    CString installationTime = GetInstallationTime();
    if (!WriteUserInfoFile(workingFolder, programPath, workingFolder, downloadSite, applicationName,
                           installationTime)) {
      // The downloaded files stay for the user; the window goes with the process.
      ShowSetupMessage("Error: Failed to create User Info File.");
      return false;
    }
    HandOverToFinalSetup(workingFolder);
  } else {
    m_dlgProgress.LeaveTopBand();
    m_dlgProgress.DestroyWindow();
  }

  // The working folder must not be the current directory while it is removed.
  SetCurrentFolder(GetApplicationFolder());
  RemoveFolder(workingFolder);
  return false;
}

void CSetupApp::HandOverToFinalSetup(const CString& workingFolder) {
  CString program = m_parser.GetValue("Program to run");
  ProcessId process = 0;
  if (StaysInWorkingFolder(program)) {
    process = StartProgram(InWorkingFolder(workingFolder, program), workingFolder);
  }
  m_dlgProgress.DestroyWindow();
  if (process != 0) {
    WaitForProcessEnd(process);
  } else {
    ShowSetupMessage("Error: Failed to start the final setup.");
  }
}

bool CSetupApp::RunSetupFlow(CString applicationName, CString workingFolder,
                             CDownloadDlg* progressWindow, CString& downloadSite) {
  bool online = true;
  // A relative name: it is looked for in the application folder, the current directory.
  if (FileExists(kDescriptionName)) {
    if (!m_parser.Load(kDescriptionName)) {
      return FailWith("Error opening the local initial setup eif.");
    }
    if (m_parser.GetValue("Download Initial Setup") == "No") online = false;
  }

  RemoveFolder(workingFolder);
  // A folder that another user prepared in a shared temporary folder is not used.
  const bool createdNow = !FileExists(workingFolder);
  if (!CreateFolderPath(workingFolder) || !MakeWorkingFolderPrivate(workingFolder, createdNow)) {
    return FailWith("Error: Failed to create the Windows temp subfolder.");
  }

  const CString workingDescription = workingFolder + "/" + kDescriptionName;
  if (!online) {
    CopyApplicationFolder(workingFolder);
  } else {
    if (!InternetGetConnectedState()) return FailWith(kNoConnection);
    CString path = "/downloads/Setups/" + applicationName;
    if (m_parser.HasContent()) path = m_parser.GetValue("Download Path");
    CString url = CString("http://") + kDefaultDownloadHost + path + "/" + kDescriptionName;
    if (GetRemoteFileSize(url) < kMinimumServedSize) return FailWith(kSiteNotFound);
    if (!m_downloader.StartDownload(url, workingDescription, nullptr)) {
      return FailWith("Error: Failed to download.");
    }
  }

  if (!m_parser.Load(workingDescription)) return FailWith("Error opening the initial setup eif.");

  CString remote, local;
  uint64_t total = 0;
  if (m_parser.GetFirstFile(remote, local)) {
    if (!InternetGetConnectedState()) return FailWith(kNoConnection);
    downloadSite = ChooseDownloadSite();
    if (downloadSite.IsEmpty()) return FailWith(kSiteNotFound);
    for (bool more = m_parser.GetFirstFile(remote, local); more;
         more = m_parser.GetNextFile(remote, local)) {
      // Saturating: announced sizes come from servers and must not wrap the total round.
      total = AddSaturating(total, GetRemoteFileSize("http://" + downloadSite + remote));
    }
  }

  CScaledProgress progress(progressWindow);
  progress.SetTotal(total);

  for (bool more = m_parser.GetFirstFile(remote, local); more;
       more = m_parser.GetNextFile(remote, local)) {
    const CString failed = "Error: Failed to download " + local;
    // A local name that leaves the working folder is never written.
    if (!StaysInWorkingFolder(local)) return FailWith(failed);
    CString target = InWorkingFolder(workingFolder, local);
    bool ok = m_downloader.StartDownload("http://" + downloadSite + remote, target, &progress);
    // A file copied from beside the program, or put back after a failed transfer, will do.
    if (!ok && !FileExists(target)) return FailWith(failed);
  }
  return true;
}

CString CSetupApp::ChooseDownloadSite() {
  CString remote, local;
  m_parser.GetFirstFile(remote, local);
  CString site;
  for (bool more = m_parser.GetFirstSite(site); more; more = m_parser.GetNextSite(site)) {
    if (GetRemoteFileSize("http://" + site + remote) > kMinimumServedSize) return site;
  }
  return CString();
}

bool CSetupApp::WriteUserInfoFile(CString targetFolder, CString programPath, CString workingFolder,
                                  CString downloadSite, CString applicationName,
                                  CString installationTime) {
  CUserInfo info;
  info.programPath = programPath;
  info.workingFolder = workingFolder;
  info.downloadSite = downloadSite;
  info.startMenuFolder = GetStartMenuFolder();
  info.desktopFolder = GetDesktopFolder();
  info.myDocumentsFolder = GetMyDocumentsFolder();
  info.applicationName = applicationName;
  info.installationTime = installationTime;
  CString text = BuildUserInfoText(info);

  CString name = m_parser.GetValue("User Info Filename");
  if (!StaysInWorkingFolder(name)) return false;
  CString path = targetFolder;
  if (path.IsEmpty() || path[path.GetLength() - 1] != u'/') path += u'/';
  name.Replace(u'\\', u'/');
  path += name;
  return WriteWholeFile(path, EncodeUtf16LeWithMark(text));
}

void CSetupApp::CopyApplicationFolder(const CString& workingFolder) {
  const CString applicationFolder = GetApplicationFolder();
  for (const CString& name : ListFilesInFolder(applicationFolder)) {
    CopyFileToFolder(applicationFolder + name, workingFolder);
  }
}

void CSetupApp::ShowSetupMessage(const CString& text) {
  FrontEnd().ShowMessageBox(ProgramCaption(), text, true);
}

bool CSetupApp::FailWith(const CString& text) {
  ShowSetupMessage(text);
  return false;
}
