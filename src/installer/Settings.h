// The installer's settings from install.ini beside the program, and the
// path helpers they use.
#pragma once

#include <cstdint>
#include <string>

// Values read from section FLAGS of install.ini. Paths are native paths.
struct TInstallerSettings {
    std::string Source;      // full path of the archive's first volume
    std::string NfoFile;     // full path of the information text file
    std::string DefaultDir = "untitled";  // default name of a new destination folder
    std::string Type;        // kept; nothing depends on it
    std::string RegFile1;    // relative to the program and destination folders
    std::string RegFile2;
    std::int32_t NumFiles = 10;  // expected number of archive volumes
    std::string Title;
    std::string Publisher;
};

// Reads section FLAGS of install.ini in `programFolder`, key by key in the
// file's order. A NUMFILES that is not an integer, or below 1, throws
// EConvertError and leaves the keys after it unread.
void ReadInstallerSettings(const std::string& programFolder, TInstallerSettings& settings);

// The path join rule: the text unchanged when it already ends with the
// separator, otherwise the text with one separator appended.
std::string AppendBackslash(const std::string& text);

// Turns a Windows-style relative path from a settings file or an archive
// ("disk1\setup.ace") into a native one ("disk1/setup.ace").
std::string NativePath(const std::string& windowsPath);

// The folder of the program's own executable, without a trailing separator.
// Tests may set another one.
std::string ProgramFolder();
void SetProgramFolderForTesting(const std::string& folder);

// Converts a settings value to a signed 32-bit integer: decimal or '$' hex,
// leading blanks allowed, nothing after the digits. Throws EConvertError
// "'%s' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);
