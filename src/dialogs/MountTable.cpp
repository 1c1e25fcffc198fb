#include "dialogs/MountTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes in paths as a
// backslash and three octal digits.
std::string DecodeOctalEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += char(((a - '0') << 6) | ((b - '0') << 3) | (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size()) break;
        size_t end = line.find(' ', pos);
        if (end == std::string_view::npos) end = line.size();
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return fields;
}

template <size_t N>
bool OneOf(std::string_view value, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), value) != names.end();
}

// File systems that live on a block device of their own; whether the
// device is removable decides between a removable and a fixed drive.
constexpr std::array<std::string_view, 20> kDiskTypes = {
    "ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk",
    "f2fs", "jfs", "reiserfs", "hfs", "hfsplus", "zfs", "bcachefs", "nilfs2", "minix"};
// File systems without a device of their own that still hold the user's
// files (the root of a container is one).
constexpr std::array<std::string_view, 1> kLayeredTypes = {"overlay"};
constexpr std::array<std::string_view, 13> kNetworkTypes = {
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph",
    "fuse.sshfs", "fuse.glusterfs", "fuse.rclone", "davfs"};
constexpr std::array<std::string_view, 2> kCdRomTypes = {"iso9660", "udf"};
constexpr std::array<std::string_view, 2> kRamTypes = {"tmpfs", "ramfs"};

bool IsUnder(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty() && path.front() == '/';
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

// Kernel interfaces and the device-node folder are not places for files,
// even where they are backed by a RAM file system.
bool IsSystemFolder(const std::string& mountPoint) {
    return IsUnder(mountPoint, "/proc") || IsUnder(mountPoint, "/sys") || mountPoint == "/dev";
}

std::string ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::getline(in, text);
    return text;
}

// /dev/disk/by-label names escape unusual bytes as \xHH.
std::string DecodeHexEscapes(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += char(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    // Each line: id parent major:minor root mount-point options [optional
    // fields...] - fstype source super-options
    std::vector<MountEntry> mounts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::vector<std::string_view> fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;

        const auto dash = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || dash == fields.end() || dash - fields.begin() < 6 ||
            fields.end() - dash < 3)
            continue;
        MountEntry mount;
        mount.deviceNumber = std::string(fields[2]);
        mount.root = DecodeOctalEscapes(fields[3]);
        mount.mountPoint = DecodeOctalEscapes(fields[4]);
        mount.fsType = std::string(dash[1]);
        mount.source = DecodeOctalEscapes(dash[2]);
        if (mount.mountPoint.empty() || mount.mountPoint.front() != '/') continue;
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

std::optional<DriveKind> ClassifyMount(const MountEntry& mount, const DriveProbe& probe) {
    if (IsSystemFolder(mount.mountPoint)) return std::nullopt;
    const std::string_view type = mount.fsType;
    if (OneOf(type, kRamTypes)) return DriveKind::Ram;
    if (OneOf(type, kCdRomTypes)) return DriveKind::CdRom;
    if (OneOf(type, kNetworkTypes)) return DriveKind::Network;
    if (OneOf(type, kLayeredTypes)) return DriveKind::Fixed;
    if (OneOf(type, kDiskTypes)) {
        const bool removable = probe.isRemovable && probe.isRemovable(mount.deviceNumber);
        return removable ? DriveKind::Removable : DriveKind::Fixed;
    }
    return std::nullopt;
}

std::string DriveText(DriveKind kind, const MountEntry& mount, const std::string& label) {
    switch (kind) {
    case DriveKind::Removable:
        return mount.mountPoint;
    case DriveKind::Network:
        if (!mount.source.empty() && mount.source != "none") return mount.mountPoint + " " + mount.source;
        break;
    case DriveKind::Fixed:
    case DriveKind::CdRom:
    case DriveKind::Ram:
        break;
    }
    return label.empty() ? mount.mountPoint : mount.mountPoint + " [" + label + "]";
}

std::vector<Drive> ListDrives(const std::vector<MountEntry>& mounts, const DriveProbe& probe) {
    std::vector<Drive> drives;
    for (size_t i = 0; i < mounts.size(); ++i) {
        const MountEntry& mount = mounts[i];
        // Only the file system mounted last at a place can be seen there.
        const bool hidden = std::any_of(mounts.begin() + long(i) + 1, mounts.end(),
                                        [&](const MountEntry& later) { return later.mountPoint == mount.mountPoint; });
        if (hidden) continue;
        const std::optional<DriveKind> kind = ClassifyMount(mount, probe);
        if (!kind) continue;
        if (probe.isDirectory && !probe.isDirectory(mount.mountPoint)) continue;
        const std::string label = probe.label ? probe.label(mount) : std::string();
        drives.push_back({*kind, mount.mountPoint, DriveText(*kind, mount, label)});
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return a.mountPoint < b.mountPoint; });
    return drives;
}

const MountEntry* ContainingMount(const std::vector<MountEntry>& mounts, const std::string& path) {
    const MountEntry* best = nullptr;
    for (const MountEntry& mount : mounts) {
        if (!IsUnder(path, mount.mountPoint)) continue;
        if (best == nullptr || mount.mountPoint.size() >= best->mountPoint.size()) best = &mount;
    }
    return best;
}

DriveProbe SystemDriveProbe() {
    DriveProbe probe;
    probe.isRemovable = [](const std::string& deviceNumber) {
        std::error_code ec;
        const fs::path device = fs::canonical(fs::path("/sys/dev/block") / deviceNumber, ec);
        if (ec) return false;
        // A partition has no "removable" of its own; its disk is its parent.
        for (const fs::path& folder : {device, device.parent_path()}) {
            const std::string value = ReadSmallFile(folder / "removable");
            if (!value.empty()) return value == "1";
        }
        return false;
    };
    probe.label = [](const MountEntry& mount) -> std::string {
        std::error_code ec;
        if (mount.source.empty() || mount.source.front() != '/') return {};
        const fs::path device = fs::canonical(mount.source, ec);
        if (ec) return {};
        for (fs::directory_iterator it("/dev/disk/by-label", ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code linkError;
            if (fs::canonical(it->path(), linkError) == device && !linkError)
                return DecodeHexEscapes(it->path().filename().string());
        }
        return {};
    };
    probe.isDirectory = [](const std::string& mountPoint) {
        std::error_code ec;
        return fs::is_directory(mountPoint, ec);
    };
    return probe;
}

std::string ReadSystemMountInfo() {
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
