#include "unace/OutputFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unace/UnACE.h"

namespace unace {

namespace {

std::atomic<WriteFunction> g_write{&::write};

std::string ErrnoText(int error) { return std::strerror(error); }

// DOS date/time (local time) to seconds since the epoch; 0 if invalid.
// The local-time conversion reads the time zone file on every call, and the
// entries of an archive mostly share their date and hour, so the start of
// the last hour converted is kept (offsets change only on the hour).
time_t DosTimeToUnix(uint32_t dos) {
    const int seconds = int(dos & 0x1F) * 2;
    const int minutes = int(dos >> 5) & 0x3F;
    if (seconds > 59 || minutes > 59) return 0;
    const uint32_t hourKey = dos >> 11;
    thread_local uint32_t lastHourKey = 0;
    thread_local time_t lastHourStart = 0;
    if (hourKey != lastHourKey || lastHourStart == 0) {
        std::tm tm{};
        tm.tm_hour = int(hourKey) & 0x1F;
        tm.tm_mday = int(dos >> 16) & 0x1F;
        tm.tm_mon = int((dos >> 21) & 0x0F) - 1;
        tm.tm_year = int(dos >> 25) + 80;
        tm.tm_isdst = -1;
        if (tm.tm_mday == 0 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_hour > 23) return 0;
        const time_t start = std::mktime(&tm);
        if (start == time_t(-1) || start == 0) return 0;
        lastHourKey = hourKey;
        lastHourStart = start;
    }
    return lastHourStart + minutes * 60 + seconds;
}

}  // namespace

void SetWriteFunctionForTesting(WriteFunction function) {
    g_write = function ? function : &::write;
}

DestinationFolder::~DestinationFolder() {
    if (fd_ >= 0) ::close(fd_);
    ForgetFolder();
}

void DestinationFolder::ForgetFolder() {
    if (lastFolderFd_ >= 0) ::close(lastFolderFd_);
    lastFolderFd_ = -1;
    lastFolders_.clear();
}

int DestinationFolder::Open(const std::string& path, std::string& why) {
    if (fd_ >= 0) ::close(fd_);
    ForgetFolder();
    path_ = path.empty() ? "." : path;
    ::mkdir(path_.c_str(), 0777);   // the caller's folder itself may be anywhere
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        why = "cannot open destination folder " + path_ + ": " + ErrnoText(errno);
        return ACE_ERR_OPEN;
    }
    return ACE_OK;
}

int DestinationFolder::MakeFolders(const std::vector<std::string>& components, size_t count,
                                   int& dirFd, std::string& why) {
    if (lastFolderFd_ >= 0 && lastFolders_.size() == count &&
        std::equal(lastFolders_.begin(), lastFolders_.end(), components.begin())) {
        dirFd = lastFolderFd_;
        return ACE_OK;
    }
    ForgetFolder();
    int fd = ::dup(fd_);
    if (fd < 0) {
        why = ErrnoText(errno);
        return ACE_ERR_OPEN;
    }
    for (size_t i = 0; i < count; ++i) {
        const char* part = components[i].c_str();
        if (::mkdirat(fd, part, 0777) != 0 && errno != EEXIST) {
            why = "cannot make folder " + components[i] + ": " + ErrnoText(errno);
            const int code = errno == ENOSPC ? ACE_ERR_DISK_FULL : ACE_ERR_OPEN;
            ::close(fd);
            return code;
        }
        const int next = ::openat(fd, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int openError = errno;
        ::close(fd);
        if (next < 0) {
            why = openError == ELOOP || openError == ENOTDIR
                      ? "'" + components[i] + "' in the destination is a link or not a folder"
                      : "cannot open folder " + components[i] + ": " + ErrnoText(openError);
            return ACE_ERR_OPEN;
        }
        fd = next;
    }
    lastFolderFd_ = fd;
    lastFolders_.assign(components.begin(), components.begin() + ptrdiff_t(count));
    dirFd = fd;
    return ACE_OK;
}

int PendingFile::Create(int dirFd, const std::string& name, std::string& why) {
    Discard();
    dirFd_ = dirFd;
    name_ = name;
    error_ = ACE_OK;
    // A name nobody else uses: the process id and a counter, created
    // exclusively so that nothing present is opened or followed.
    static std::atomic<unsigned> counter{0};
    static const std::string prefix = ".acex-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName_ = prefix + std::to_string(counter++) + ".part";
        fd_ = ::openat(dirFd_, tempName_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) return ACE_OK;
        if (errno != EEXIST) break;
    }
    why = "cannot create " + name + ": " + ErrnoText(errno);
    const int code = errno == ENOSPC ? ACE_ERR_DISK_FULL : ACE_ERR_OPEN;
    tempName_.clear();
    return code;
}

bool PendingFile::Write(const uint8_t* data, size_t size) {
    if (error_ != ACE_OK) return false;
    const WriteFunction write = g_write.load();
    while (size > 0) {
        const ssize_t n = write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = (n < 0 && (errno == ENOSPC || errno == EDQUOT)) || n == 0 ? ACE_ERR_DISK_FULL
                                                                              : ACE_ERR_WRITE;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

int PendingFile::Commit(uint32_t dosTime, std::string& why) {
    if (fd_ < 0) return ACE_ERR_WRITE;
    if (const time_t t = DosTimeToUnix(dosTime)) {
        const timespec times[2] = {{t, 0}, {t, 0}};
        ::futimens(fd_, times);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        why = "cannot write " + name_ + ": " + ErrnoText(errno);
        const int code = errno == ENOSPC || errno == EDQUOT ? ACE_ERR_DISK_FULL : ACE_ERR_WRITE;
        Discard();
        return code;
    }
    // rename replaces a file (or a link) of that name without following it.
    if (::renameat(dirFd_, tempName_.c_str(), dirFd_, name_.c_str()) != 0) {
        why = "cannot create " + name_ + ": " + ErrnoText(errno);
        Discard();
        return ACE_ERR_OPEN;
    }
    tempName_.clear();
    dirFd_ = -1;
    return ACE_OK;
}

void PendingFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (dirFd_ >= 0 && !tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    dirFd_ = -1;
    tempName_.clear();
}

}  // namespace unace
