#pragma once

// A folder that no user but root can enter: made with mode 0700 and checked
// to be a real folder of the installer's own user.

// Creates the folder; false when anything is at the path already (a link, a
// folder someone else made) or what was made is not such a folder.
bool MakePrivateFolder(const char* path);

// Gives the folder its mode 0700 back if something changed it; false when
// it is no longer a real folder of the installer's user.
bool KeepFolderPrivate(const char* path);
