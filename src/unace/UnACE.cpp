// The C interface over Archive: handle bookkeeping, records and callbacks.
// No exception leaves these functions.
#include "unace/UnACE.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "unace/AceArchive.h"

namespace {

struct OpenArchive {
    unace::Archive archive;
    ArchiveOpenRecord callbacks{};
    std::string errorText;
};

std::mutex g_handlesMutex;
std::unordered_set<OpenArchive*>& Handles() {
    static std::unordered_set<OpenArchive*> handles;
    return handles;
}

OpenArchive* Lookup(ACEHandle handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* archive = static_cast<OpenArchive*>(handle);
    return Handles().count(archive) ? archive : nullptr;
}

// Paths from the caller may use '\' (the archive's own convention); the
// file system wants the native separator.
std::string NativePath(const char* path) {
    std::string native = path ? path : "";
#ifndef _WIN32
    std::replace(native.begin(), native.end(), '\\', '/');
#endif
    return native;
}

void CopyField(char* field, const std::string& text) {
    const size_t n = std::min(text.size(), size_t(ACE_PATH_MAX - 1));
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

extern "C" {

ACEHandle ACEOpenArchive(ArchiveOpenRecord* open) {
    if (!open) return nullptr;
    if (open->OpenMode != ACE_OPEN_EXTRACT) {
        open->OpenResult = ACE_ERR_CONSTANT;
        return nullptr;
    }
    if (!open->ArcName || !*open->ArcName) {
        open->OpenResult = ACE_ERR_NOT_FOUND;
        return nullptr;
    }
    try {
        auto* handle = new OpenArchive;
        handle->callbacks = *open;
        const ArchiveOpenRecord cb = *open;
        if (cb.VolumeCallback)
            handle->archive.SetVolumeHandler([cb](const std::string& path, int code) {
                return cb.VolumeCallback(path.c_str(), code, cb.CallbackContext) != 0;
            });
        if (cb.ProgressCallback)
            handle->archive.SetProgressHandler([cb](uint64_t count) {
                // Counts beyond the callback's range go out in several reports.
                bool goOn = true;
                do {
                    const int32_t part = int32_t(std::min<uint64_t>(count, INT32_MAX));
                    goOn = cb.ProgressCallback(nullptr, part, cb.CallbackContext) != 0;
                    count -= uint64_t(part);
                } while (goOn && count > 0);
                return goOn;
            });
        const int result = handle->archive.Open(NativePath(open->ArcName));
        open->OpenResult = result;
        if (result != ACE_OK) {
            delete handle;
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        Handles().insert(handle);
        return handle;
    } catch (const std::bad_alloc&) {
        open->OpenResult = ACE_ERR_MEMORY;
    } catch (...) {
        open->OpenResult = ACE_ERR_OPEN;
    }
    return nullptr;
}

int32_t ACEReadHeader(ACEHandle handle, ArchiveHeaderRecord* header) {
    OpenArchive* a = Lookup(handle);
    if (!a) return ACE_ERR_HANDLE;
    if (!header) return ACE_ERR_CONSTANT;
    try {
        const int result = a->archive.ReadHeader();
        if (result != ACE_OK) return result;
        const unace::Entry& e = a->archive.Current();
        const unace::FileHeader& h = e.Header;
        std::memset(header, 0, sizeof *header);
        CopyField(header->VolumePath, e.VolumePath);
        CopyField(header->EntryName, h.Name.substr(0, h.Name.find('\0')));
        header->Size = int32_t(std::min<uint64_t>(h.OrigSize, INT32_MAX));
        header->OrigSize = h.OrigSize;
        header->PackSize = e.PackSizeTotal;
        header->Crc32 = h.Crc32;
        header->FileTime = h.FTime;
        header->Attributes = h.Attr & 0xFFFF;
        header->Flags = h.Flags;
        header->Method = h.TechType;
        header->Dictionary = uint8_t(h.TechParm & unace::kTechParmDictMask);
        header->IsDirectory = h.IsDirectory();
        header->IsEncrypted = h.IsEncrypted();
        header->NameIsSafe = e.NameIsSafe;
        return ACE_OK;
    } catch (const std::bad_alloc&) {
        return ACE_ERR_MEMORY;
    } catch (...) {
        return ACE_ERR_READ;
    }
}

int32_t ACEProcessFile(ACEHandle handle, int32_t operation, const char* destination) {
    OpenArchive* a = Lookup(handle);
    if (!a) return ACE_ERR_HANDLE;
    try {
        return a->archive.Process(operation, NativePath(destination));
    } catch (const std::bad_alloc&) {
        return ACE_ERR_MEMORY;
    } catch (...) {
        return ACE_ERR_WRITE;
    }
}

int32_t ACECloseArchive(ACEHandle handle) {
    OpenArchive* a = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        auto* candidate = static_cast<OpenArchive*>(handle);
        if (!Handles().erase(candidate)) return ACE_ERR_HANDLE;
        a = candidate;
    }
    delete a;
    return ACE_OK;
}

const char* ACEGetLastErrorText(ACEHandle handle) {
    OpenArchive* a = Lookup(handle);
    if (!a) return "invalid handle";
    a->errorText = a->archive.LastError();
    return a->errorText.c_str();
}

}  // extern "C"
