// Whether the working folder is the user's own. The temporary folder may be shared with other
// users (/tmp), and what runs at the end is taken from the working folder.
#pragma once

#include "platform/cstring.h"

// True when the working folder and its parent (the "Corvanel" folder) are each a folder, not a
// link, owned by this process's user and not writable by others. Anything else could have been
// prepared by another user of the machine.
bool IsWorkingFolderPrivate(const CString& workingFolder);
