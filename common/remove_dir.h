#pragma once

// Removes a folder and everything in it; 0 when all of it is gone, 1
// otherwise. Never follows a symbolic link: a link inside the tree is
// removed as a link, and a path that is itself a link is refused. Never
// crosses into another file system: a mount point inside the tree (or the
// folder itself being one) stays with what is mounted there. Safe to
// call from a signal handler (no allocation, no stdio).
unsigned char RemoveDir(const char* path);
