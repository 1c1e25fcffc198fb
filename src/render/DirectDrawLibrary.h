// The loader of the platform libraries. The display and 3D libraries are
// built into this program; the loader still finds them by file name ("DDraw.dll",
// "D3DRM.dll", any case), loads each once, keeps the loaded ones in a list
// keyed by the lower-cased name and resolves entry points by name, so the
// layer above binds them the same way on every platform.
#pragma once

#include <string>
#include <vector>

// Returns the entry point `entryName` of library `fileName`, loading the
// library on first use. Raises Exception "%s not loaded" (with `fileName` as
// given) when the library or the entry point cannot be had.
void* DXLoadLibraryEntry(const std::string& fileName, const char* entryName);

// Typed form: DXLoadEntry<decltype(&ddraw::DirectDrawCreate)>("DDraw.dll", "DirectDrawCreate").
template <class Function>
Function DXLoadEntry(const std::string& fileName, const char* entryName) {
    return reinterpret_cast<Function>(DXLoadLibraryEntry(fileName, entryName));
}

// Lower-cased names of the libraries loaded so far, in load order.
std::vector<std::string> DXLoadedLibraries();
// Drops every loaded library (done once at program end; tests use it too).
void DXFreeLibraries();

namespace dxlibrary::testing {
// Makes a library (by file name, any case) impossible to load.
void SetLibraryMissing(const std::string& fileName, bool missing);
}
