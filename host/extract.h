#pragma once

// The working folder where the package is unpacked, and the package folder.
constexpr char kWorkingFolder[] = "/QVInstallation";
constexpr char kPackageFolder[] = "/QVInstallation/qv";

// Unpacks the embedded package into the working folder and makes the
// package folder the current directory. 0 on success, 1 on failure (what
// was made so far is left for the caller to remove).
unsigned char Decode();
