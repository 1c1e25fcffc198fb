// Entry names from an archive, checked before they reach the file system.
//
// Names are untrusted. A name is accepted only if it is a plain relative
// path: no control characters, no leading separator, no drive letter or ':'
// anywhere, no '..' component. Both '\' and '/' separate components; empty
// and '.' components are dropped. Windows builds also refuse device names
// and characters that path does not allow.
#pragma once

#include <string>
#include <vector>

namespace unace {

// Splits `name` into safe components. On refusal returns false and sets
// `why` to a short reason ("absolute path", "'..' component", ...).
bool SplitEntryName(const std::string& name, std::vector<std::string>& components,
                    std::string& why);

// The components joined with the native separator (for display and lists).
std::string JoinNative(const std::vector<std::string>& components);

}  // namespace unace
