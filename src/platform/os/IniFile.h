// Reading values from a Windows-style settings file (.ini).
//
// The rules are those of the classic private-profile reader: section and key
// names match without regard to case (ASCII), blanks around names and values
// are dropped, a value wrapped in one pair of matching quotes loses them, a
// value is cut to the caller's buffer (1023 characters for a 1024-byte
// buffer), and a missing file, section or key gives the default. The first
// matching section and key in the file win. Lines starting with ';' are
// comments. The file is read afresh on every call, as that reader does.
#pragma once

#include <cstddef>
#include <string>

namespace os {

constexpr std::size_t kProfileBufferSize = 1024;

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName,
                                     std::size_t bufferSize = kProfileBufferSize);

// The same lookup over text already in memory (tests, fuzzing).
std::string ProfileStringFromText(const std::string& text, const std::string& section,
                                  const std::string& key, const std::string& defaultValue,
                                  std::size_t bufferSize = kProfileBufferSize);

}  // namespace os
