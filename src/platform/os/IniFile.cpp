#include "platform/os/IniFile.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

namespace os {
namespace {

// Settings files are small; anything beyond this is not a settings file and
// is read only up to here.
constexpr std::size_t kMaxProfileFileSize = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = Trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            std::string_view name = Trim(line.substr(1, close == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : close - 1));
            // Only the first section of a name counts.
            if (inSection) return std::nullopt;
            inSection = !sectionSeen && EqualNoCase(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!EqualNoCase(Trim(line.substr(0, equals)), key)) continue;
        return std::string(Trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

std::string Finish(std::string value, std::size_t bufferSize) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

}  // namespace

std::string ProfileStringFromText(const std::string& text, const std::string& section,
                                  const std::string& key, const std::string& defaultValue,
                                  std::size_t bufferSize) {
    std::optional<std::string> found = FindValue(text, section, key);
    return Finish(found ? *found : defaultValue, bufferSize);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName,
                                    std::size_t bufferSize) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return Finish(defaultValue, bufferSize);
    std::string text(kMaxProfileFileSize, '\0');
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(file.gcount()));
    return ProfileStringFromText(text, section, key, defaultValue, bufferSize);
}

}  // namespace os
