// Whether the working folder is the user's own. The temporary folder may be shared with other
// users (/tmp), and what runs at the end is taken from the working folder.
#pragma once

#include "platform/cstring.h"

// True when the working folder and its parent (the "Corvanel" folder) are each a folder, not a
// link, and owned by this process's user, and neither is writable by others. A parent that
// others may write to loses that permission (whatever they put there is not ours and fails this
// test); so does a working folder that was created just now (createdNow), as happens with a
// umask of 0. An older working folder that others may write to could hold their files: false.
bool MakeWorkingFolderPrivate(const CString& workingFolder, bool createdNow);
