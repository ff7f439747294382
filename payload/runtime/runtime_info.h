#pragma once

// The package's runtime support library, linked as kRuntimeLink with the
// mail part. It carries what the
// package's programs may share at run time; for now the package's version.

extern "C" {
// The version of the package the library came with, such as "0.1".
const char* QvPackageVersion();
}
