// File and folder operations over paths. They keep no state, show nothing and throw nothing:
// each reports success as a boolean and the caller decides what a failure means.
// "/" is the separator; paths are handed to the system as UTF-8.
#pragma once

#include "platform/cstring.h"

// True when a file or a folder (or anything else) is found at the path.
bool FileExists(CString path);

// Renames folder/oldName to folder/newName after giving the owner read and write permission on
// the source. Never replaces: false when the new name is taken, and both files stay as they are.
bool RenameFileInFolder(CString folder, CString oldName, CString newName);

// Deletes folder/name. True when it is gone afterwards, including when it was never there.
bool DeleteFileInFolder(CString folder, CString name);

// Creates every missing folder of the path, shortest prefix first; the root "/" is never
// created. A path without any "/" creates nothing and gives true. True when every folder on
// the path exists afterwards as a folder; it stops at the first prefix that cannot be made and
// leaves the folders already made.
bool CreateFolderPath(CString path);

// Deletes every entry of the folder that is not a folder (dot files included; links to files
// count as files) and removes the folder, with three attempts TimingSettings().
// removeFolderRetryWait apart. Sub-folders are left alone, so a folder holding one stays.
// True when the folder itself was removed.
bool RemoveFolder(CString path);

// Copies the file to destinationFolder + "/" + its file name, overwriting an existing file and
// keeping the source's permission bits. True when the copy was written whole.
bool CopyFileToFolder(CString sourcePath, CString destinationFolder);
