#pragma once

// What the installer put in place for the package: the links in /usr/lib
// and /usr/bin, the programs, lists and logs in the installation folder,
// and the folders it made. Each removal is one unlink or rmdir, so an
// interrupted run can simply be run again.

#include <string>
#include <vector>

// Removes every link whose target is the package's file in
// `ins_folder`/bin; a link that points elsewhere (or a file that is no
// link) is left and described in `notes`. False with `notes` on a failure.
bool RemovePackageLinks(const std::string& ins_folder, std::vector<std::string>* notes);

// Removes the package's files in the installation folder, then its bin,
// etc and log folders and the folder itself when they are empty. A folder
// that still holds something is kept and described in `notes`.
bool RemoveInstallationFolder(const std::string& ins_folder, std::vector<std::string>* notes);

// rmdir of `path` when it is an empty folder; a folder that holds
// something is kept, with `why_kept` in `notes`. False on other failures.
bool RemoveEmptyFolder(const std::string& path, const std::string& why_kept,
                       std::vector<std::string>* notes);

// Removes the folder `path` with everything in it through RemoveDir: never
// following a link, stopping at every mount point (bind mounts included).
// True when it is gone or was never there; false with `err` when something
// stays.
bool RemoveTree(const std::string& path, std::string* err);
