/* The archive library's C interface: open an ACE archive (all volumes of a
 * multi-volume set), read its entries' headers one after the other, and
 * extract or test each entry.
 *
 * Order of calls: ACEOpenArchive; then ACEReadHeader and ACEProcessFile,
 * again and again, until ACEReadHeader returns non-zero (ACE_END_OF_ARCHIVE
 * after the last entry, another code on damage); then ACECloseArchive.
 * ACEReadHeader without ACEProcessFile skips the current entry.
 *
 * Records. The original binding describes byte-packed 32-bit records with
 * 4-byte pointer fields at fixed offsets (open record: name pointer at 0,
 * open mode at 4, open result at 8, the value 4 at 79, callbacks at 87 and
 * 91; header record: volume path at 0, entry name at 260, signed size at
 * 528). A 64-bit build cannot keep 4-byte pointers, so these records keep
 * the same fields with the same meaning, in natural C layout; nothing may
 * depend on their byte offsets. Fields added here are marked as additions.
 *
 * Callbacks are plain C functions called on the caller's thread from inside
 * ACEProcessFile and ACEReadHeader; both receive the record's
 * CallbackContext as an added last argument.
 *
 * Thread safety: one handle must be used by one thread at a time; separate
 * handles are independent.
 */
#ifndef UNACE_UNACE_H
#define UNACE_UNACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- result codes ---------------------------------------------------------
 * Open results (ArchiveOpenRecord.OpenResult): 0, 1, 3, 5, 6, 9, 128, 130.
 * ACEProcessFile results: 0, 4, 5, 6, 7, 9, 10, 129, 130, 131, 132.
 * ACEReadHeader results: 0, ACE_END_OF_ARCHIVE, 5, 6, 9, 129. */
enum {
    ACE_OK = 0,
    ACE_ERR_MEMORY = 1,       /* "Not enough memory" */
    ACE_END_OF_ARCHIVE = 2,   /* ACEReadHeader: no further entry, archive complete */
    ACE_ERR_NOT_FOUND = 3,    /* the archive file does not exist */
    ACE_ERR_DISK_FULL = 4,    /* no space left while writing an entry */
    ACE_ERR_OPEN = 5,         /* a file could not be opened or created: the archive,
                                 a later volume, or an entry's output (also an
                                 entry name that would leave the destination) */
    ACE_ERR_READ = 6,         /* read failure or truncated archive */
    ACE_ERR_WRITE = 7,        /* write failure other than a full disk */
    ACE_ERR_CRC = 9,          /* checksum mismatch, damaged header or corrupt data */
    ACE_ERR_ABORTED = 10,     /* the progress or volume callback asked to stop */
    ACE_ERR_NOT_ACE = 128,    /* no main header found: not an ACE archive */
    ACE_ERR_HANDLE = 129,     /* the handle is not an open archive */
    ACE_ERR_CONSTANT = 130,   /* unknown open mode or operation, or no current entry */
    ACE_ERR_ENCRYPTED = 131,  /* the entry is encrypted; it is not decoded */
    ACE_ERR_METHOD = 132      /* unknown compression method or dictionary size */
};

/* Open modes and operations. */
enum {
    ACE_OPEN_EXTRACT = 1,     /* the only open mode */
    ACE_OP_SKIP = 0,          /* addition: pass over the entry */
    ACE_OP_TEST = 1,          /* addition: decode and check the CRC, write nothing */
    ACE_OP_EXTRACT = 2        /* extract below the destination folder */
};

/* Volume callback codes. */
enum {
    ACE_VOLUME_NOT_FOUND = 0, /* the volume cannot be found; return 0 to stop,
                                 non-zero to have the library look again */
    ACE_VOLUME_CHANGED = 1    /* the library moved on to this volume; return
                                 non-zero to go on, 0 to stop */
};

typedef int32_t (*ACEVolumeCallback)(const char* volumePath, int32_t code, void* context);
/* `count` units (bytes of the entry's output) were processed since the last
 * call; the counts of an entry add up to its size. At most one call per
 * 64 KiB of output and per 10 ms, and always one when the entry is complete.
 * Return non-zero to go on, 0 to abort the entry (ACE_ERR_ABORTED). */
typedef int32_t (*ACEProgressCallback)(const void* data, int32_t count, void* context);

typedef void* ACEHandle;

typedef struct ArchiveOpenRecord {
    const char* ArcName;              /* zero-terminated path of the first volume */
    int32_t OpenMode;                 /* ACE_OPEN_EXTRACT */
    int32_t OpenResult;               /* written by ACEOpenArchive: 0 or a code */
    int32_t Reserved79;               /* the caller's 4 at offset 79; not interpreted */
    ACEVolumeCallback VolumeCallback;     /* may be null: a missing volume then stops */
    ACEProgressCallback ProgressCallback; /* may be null */
    void* CallbackContext;            /* addition: handed to both callbacks */
} ArchiveOpenRecord;

#define ACE_PATH_MAX 260

typedef struct ArchiveHeaderRecord {
    char VolumePath[ACE_PATH_MAX];    /* volume holding the entry (its first part) */
    char EntryName[ACE_PATH_MAX];     /* stored relative name, '\' separators, cut
                                         to fit; zero-terminated */
    int32_t Size;                     /* entry size; INT32_MAX if larger */
    /* additions */
    uint64_t OrigSize;                /* full entry size */
    uint64_t PackSize;                /* packed size over all parts known so far */
    uint32_t Crc32;                   /* ACE CRC-32 from the (first part's) header */
    uint32_t FileTime;                /* DOS date and time */
    uint32_t Attributes;              /* DOS attributes (low 16 bits) */
    uint16_t Flags;                   /* file header flags */
    uint8_t Method;                   /* 0 stored, 1 ACE 1.0, 2 ACE 2.0 */
    uint8_t Dictionary;               /* D: dictionary of 2^(10+D) bytes */
    uint8_t IsDirectory;
    uint8_t IsEncrypted;
    uint8_t NameIsSafe;               /* 0: ACEProcessFile will refuse this name */
} ArchiveHeaderRecord;

ACEHandle ACEOpenArchive(ArchiveOpenRecord* open);
int32_t ACEReadHeader(ACEHandle handle, ArchiveHeaderRecord* header);
/* `destination`: zero-terminated folder; a trailing separator ('\' or '/')
 * is optional. Ignored for ACE_OP_TEST and ACE_OP_SKIP. */
int32_t ACEProcessFile(ACEHandle handle, int32_t operation, const char* destination);
int32_t ACECloseArchive(ACEHandle handle);

/* Addition: a sentence describing the last failure on this handle (empty if
 * none); valid until the next call on the handle. */
const char* ACEGetLastErrorText(ACEHandle handle);

#ifdef __cplusplus
}
#endif

#endif
