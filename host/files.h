#pragma once

// Small file-system probes and acts that never follow a link where that
// would let someone else's file stand in for the installer's, and never
// block on a special file.

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

enum class ReadProbe {
  kRegularFile,  // opens for reading and is a regular file (through a link, if any)
  kOtherFile,    // opens for reading but is a FIFO, a device or a folder
  kNoFile,       // does not open for reading
};

// Opens the path for reading without blocking (a FIFO or a device answers
// at once), looks at what opened and closes it again. Changes nothing.
ReadProbe ProbeForReading(const char* path);

// fstat of an open file that must be a regular one: false with errno
// EINVAL for a FIFO, a device or a folder.
bool StatRegularFile(int fd, struct stat* st);

// True when the path opens for reading (ProbeForReading says it does).
bool CanOpenForReading(const char* path);

// True when something (even a dangling link) exists at the path.
bool PathExists(const char* path);

// True when the path itself (not what it points to) is a symbolic link.
bool IsSymbolicLink(const char* path);

// Fills `err` with "<what> <path>: <error text>" from errno and keeps errno
// as the caller's failure cause. Always false.
bool FailWithErrno(std::string* err, std::string_view what, const std::string& path);

// Runs `cleanup` (closing, unlinking) without letting it change errno.
template <typename Cleanup>
void KeepingErrno(Cleanup cleanup) {
  const int error = errno;
  cleanup();
  errno = error;
}

// Opens a folder that is a real folder, never through a link
// (O_NOFOLLOW|O_DIRECTORY). -1 with errno set otherwise.
int OpenRealFolder(const char* path);

// Sets the permission bits of a real folder (never through a link). When
// `old_mode` is given it receives the bits the folder had. False with errno.
bool SetFolderMode(const char* path, mode_t mode, mode_t* old_mode = nullptr);

// Gives a real folder (never through a link) to `uid`:`gid`. When `old_uid`
// and `old_gid` are given they receive the owner it had. False with errno.
bool SetFolderOwner(const char* path, uid_t uid, gid_t gid, uid_t* old_uid = nullptr,
                    gid_t* old_gid = nullptr);
