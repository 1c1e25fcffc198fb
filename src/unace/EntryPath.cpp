#include "unace/EntryPath.h"

#include <algorithm>
#include <cctype>

namespace unace {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

#ifdef _WIN32
bool IsWindowsDeviceName(std::string part) {
    const size_t dot = part.find('.');
    if (dot != std::string::npos) part.resize(dot);
    std::transform(part.begin(), part.end(), part.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (part == "CON" || part == "PRN" || part == "AUX" || part == "NUL") return true;
    return part.size() == 4 && (part.rfind("COM", 0) == 0 || part.rfind("LPT", 0) == 0) &&
           part[3] >= '1' && part[3] <= '9';
}
#endif

}  // namespace

bool SplitEntryName(const std::string& name, std::vector<std::string>& components,
                    std::string& why) {
    components.clear();
    for (unsigned char c : name) {
        if (c < 0x20) {
            why = "control character in name";
            return false;
        }
        if (c == ':') {
            why = "drive letter or ':' in name";
            return false;
        }
    }
    if (!name.empty() && IsSeparator(name[0])) {
        why = "absolute path";
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        std::string part = name.substr(start, end - start);
        if (part == "..") {
            why = "'..' component";
            return false;
        }
        if (!part.empty() && part != ".") {
#ifdef _WIN32
            if (IsWindowsDeviceName(part) || part.back() == '.' || part.back() == ' ' ||
                part.find_first_of("<>\"|?*") != std::string::npos) {
                why = "name not allowed on this system";
                return false;
            }
#endif
            components.push_back(std::move(part));
        }
        start = end + 1;
    }
    if (components.empty()) {
        why = "empty name";
        return false;
    }
    return true;
}

std::string JoinNative(const std::vector<std::string>& components) {
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    std::string path;
    for (const auto& part : components) {
        if (!path.empty()) path += separator;
        path += part;
    }
    return path;
}

}  // namespace unace
