// Feeds arbitrary bytes to the archive reader as a one-volume archive: every
// entry is read and tested (decoded, CRC-checked, nothing written).
#include <cstddef>
#include <cstdint>

#include "unace/AceArchive.h"
#include "unace/UnACE.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unace::Archive archive;
    if (archive.OpenMemory(data, size) != ACE_OK) return 0;
    // Each entry's output is bounded by the decoder's own checks; cap the
    // number of entries so one input cannot run for long.
    for (int entries = 0; entries < 1000 && archive.ReadHeader() == ACE_OK; ++entries)
        archive.Process(ACE_OP_TEST, "");
    return 0;
}
