// Feeds arbitrary text to the settings reader and looks every installer
// key up in it, with small and normal buffers.
#include "platform/os/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const char* const kKeys[] = {"SOURCE", "NFOFILE", "DEFAULTDIR", "TYPE", "REGFILE1",
                                        "REGFILE2", "NUMFILES", "TITLE", "PUBLISHER", ""};
    for (const char* key : kKeys) {
        std::string value = os::ProfileStringFromText(text, "FLAGS", key, "default");
        if (value.size() > 1023) __builtin_trap();
        std::string small = os::ProfileStringFromText(text, "flags", key, "default", 4);
        if (small.size() > 3) __builtin_trap();
    }
    return 0;
}
