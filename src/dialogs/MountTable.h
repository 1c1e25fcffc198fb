// The mounted file systems, read from the kernel's mount table, and the
// "drives" the destination dialog offers: one per mounted file system of a
// kind a user keeps files on (removable, fixed, network, CD-ROM, RAM).
//
// Parsing and classifying are pure functions over the text of
// /proc/self/mountinfo, so they can be tested with samples; the questions
// that need the running system (is a block device removable, what is a
// volume's label, is the mount point a folder) go through DriveProbe.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MountEntry {
    std::string deviceNumber;  // "major:minor"
    std::string root;          // the folder of the file system mounted here
    std::string mountPoint;    // escapes (\040 ...) decoded
    std::string fsType;        // "ext4", "tmpfs", "fuse.sshfs", ...
    std::string source;        // "/dev/sda1", "//server/share", "host:/export", ...
};

enum class DriveKind { Removable, Fixed, Network, CdRom, Ram };

struct Drive {
    DriveKind kind;
    std::string mountPoint;
    std::string text;  // as the drive box shows it
};

// What the drive list needs to know about the running system.
struct DriveProbe {
    // Is the block device "major:minor" removable media?
    std::function<bool(const std::string& deviceNumber)> isRemovable;
    // The volume label of a mounted file system, or empty when it has none.
    std::function<std::string(const MountEntry&)> label;
    // Is the mount point a folder (file bind mounts are not drives)?
    std::function<bool(const std::string& mountPoint)> isDirectory;
};

// Parses the lines of a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The kind of drive a mounted file system is, or nothing for pseudo file
// systems (proc, sysfs, cgroup, devpts, ...) and kinds we do not know.
std::optional<DriveKind> ClassifyMount(const MountEntry& mount, const DriveProbe& probe);

// The text of a drive's line: the mount point, then for network drives the
// remote source, for the others the label in brackets when there is one.
std::string DriveText(DriveKind kind, const MountEntry& mount, const std::string& label);

// The drives of a mount table, sorted by mount point; a mount point that
// was mounted over is listed once, for the file system on top.
std::vector<Drive> ListDrives(const std::vector<MountEntry>& mounts, const DriveProbe& probe);

// The mount whose file system holds `path` (an absolute, normalised path):
// the latest mount with the longest mount point that is `path` or one of
// its parents. Null when none is.
const MountEntry* ContainingMount(const std::vector<MountEntry>& mounts, const std::string& path);

// The probe of the running system (sysfs, /dev/disk/by-label, stat).
DriveProbe SystemDriveProbe();

// The text of /proc/self/mountinfo, empty when it cannot be read.
std::string ReadSystemMountInfo();
