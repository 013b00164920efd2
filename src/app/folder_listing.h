// The files that lie beside the program, for the offline copy.
#pragma once

#include <vector>

#include "platform/cstring.h"

// The names of the folder's entries that are not folders, dot files included; a link to a file
// counts as a file. Empty when the folder cannot be read.
std::vector<CString> ListFilesInFolder(const CString& folder);
