#pragma once

#include <QString>

namespace tessaline {

// The library, its log, the search index and the pictures in them hold what
// was on the user's screen: the folder that keeps them is its owner's alone,
// whatever the umask would give. Makes the folder and any folder above it
// that is missing, and takes away any access others have to the folder
// itself (a folder made by an earlier version was readable by everyone);
// the folders above it are left as they are. False when the folder is not
// there afterwards. A folder that cannot be changed (another user's) is
// used as it is.
bool makePrivateFolder(const QString &path);

} // namespace tessaline
