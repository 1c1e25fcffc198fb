// File calls of the installer on this platform: the small set of tests and
// changes the extraction run and the folder dialog make.
#pragma once

#include <string>

namespace os {

// True when a file (not a folder) exists at `path`.
bool FileExists(const std::string& path);
// True when `path` is an existing folder.
bool DirectoryExists(const std::string& path);
// Makes every missing folder of `path`, outermost first; failures are ignored
// (the caller checks the result with DirectoryExists).
void ForceDirectories(const std::string& path);
// Copies a file. With failIfExists an existing destination is kept. The copy
// is written under a temporary name and renamed, so the destination is never
// left half-written.
bool CopyFile(const std::string& source, const std::string& destination, bool failIfExists);

}  // namespace os
