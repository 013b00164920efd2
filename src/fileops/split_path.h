// Splitting a path into its folder and its file name.
#pragma once

#include "platform/cstring.h"

// Works on a copy in which every "\" has become "/". Without a "/", name is the whole path and
// folder is empty; otherwise folder is everything up to and including the last "/" (it keeps
// its trailing separator) and name everything after it.
void SplitPath(CString path, CString& folder, CString& name);

// The folder, then "/" unless the folder already ends in one, then the name. An empty folder
// therefore gives "/" + name.
CString JoinFolderAndName(const CString& folder, const CString& name);
