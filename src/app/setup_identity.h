// The setup's identity, taken from the program's own file name, and the names built from it.
#pragma once

#include "platform/cstring.h"

// The text strictly between the first two "_" of the file name (extension included in the
// search), exactly as it stands; "Local" when there are fewer than two "_" or nothing between
// the first two.
CString ParseApplicationName(const CString& fileName);

// temporary folder + "/Corvanel/" + application name + "Setup".
CString ComposeWorkingFolder(const CString& tempFolder, const CString& applicationName);

// The caption of the driver's message boxes: the file name without its extension (the text
// after its last "."), or the whole name when it has none.
CString GetCaptionFromFileName(const CString& fileName);

// True when a name from a description, joined to the working folder, stays inside it: not
// absolute and without a ".." part ("/" and "\" both count as separators: a name written with
// "\" between folders is taken with "/"). Empty text passes; joining it names the folder itself.
bool StaysInWorkingFolder(const CString& name);
