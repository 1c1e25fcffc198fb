#include "installer/Settings.h"

#include "platform/os/IniFile.h"
#include "toolkit/Exceptions.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <limits>

namespace {
std::string& ProgramFolderOverride() {
    static std::string folder;
    return folder;
}
}  // namespace

std::string AppendBackslash(const std::string& text) {
    constexpr char separator = '/';
    if (!text.empty() && text.back() == separator) return text;
    return text + separator;
}

std::string NativePath(const std::string& windowsPath) {
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string ProgramFolder() {
    if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
    if (QCoreApplication::instance())
        return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
    return QDir::currentPath().toStdString();
}

void SetProgramFolderForTesting(const std::string& folder) { ProgramFolderOverride() = folder; }

std::int32_t StrToInt(const std::string& text) {
    auto fail = [&text]() -> std::int32_t {
        throw EConvertError(FormatMessage("'%s' is not a valid integer value", text));
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == text.size()) return fail();
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fail();
        value = value * base + digit;
        // Hexadecimal may spell the whole unsigned 32-bit range ($FFFFFFFF is -1).
        std::int64_t limit = base == 16 ? 0xFFFFFFFFLL : std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        if (value > limit) return fail();
    }
    if (base == 16) {
        std::int64_t result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(negative ? -result : result));
    }
    if (negative) return static_cast<std::int32_t>(-value);
    if (value > std::numeric_limits<std::int32_t>::max()) return fail();
    return static_cast<std::int32_t>(value);
}

void ReadInstallerSettings(const std::string& programFolder, TInstallerSettings& settings) {
    const std::string path = AppendBackslash(programFolder) + "install.ini";
    auto read = [&path](const char* key, const char* defaultValue) {
        return os::GetPrivateProfileString("FLAGS", key, defaultValue, path);
    };
    settings.Source = AppendBackslash(programFolder) + NativePath(read("SOURCE", ""));
    settings.NfoFile = AppendBackslash(programFolder) + NativePath(read("NFOFILE", ""));
    settings.DefaultDir = read("DEFAULTDIR", "untitled");
    settings.Type = read("TYPE", "");
    settings.RegFile1 = read("REGFILE1", "");
    settings.RegFile2 = read("REGFILE2", "");
    const std::string numFiles = read("NUMFILES", "10");
    settings.NumFiles = StrToInt(numFiles);
    // The volume count divides the per-volume bar; below one volume there is
    // nothing sensible to show, so such a release is refused at start-up.
    if (settings.NumFiles < 1)
        throw EConvertError(FormatMessage(
            "'%s' is not a valid number of volumes (NUMFILES must be at least 1)", numFiles));
    settings.Title = read("TITLE", "");
    settings.Publisher = read("PUBLISHER", "");
}
