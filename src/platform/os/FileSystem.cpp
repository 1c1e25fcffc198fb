#include "platform/os/FileSystem.h"

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace os {

bool FileExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error) && !fs::is_directory(path, error);
}

bool DirectoryExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && fs::is_directory(path, error);
}

void ForceDirectories(const std::string& path) {
    std::error_code error;
    fs::create_directories(path, error);
}

bool CopyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    std::error_code error;
    if (!fs::is_regular_file(source, error)) return false;
    if (failIfExists && fs::exists(fs::symlink_status(destination, error))) return false;
    const std::string temporary = destination + ".part-" + std::to_string(::getpid());
    if (!fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, error)) {
        fs::remove(temporary, error);
        return false;
    }
    fs::rename(temporary, destination, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace os
