#include "render/DirectDrawLibrary.h"

#include "platform/d3drm/Direct3DRM.h"
#include "platform/ddraw/DDraw.h"
#include "render/DXConsts.h"
#include "toolkit/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

namespace {

using LookupFunction = void* (*)(const char* name);

struct BuiltinLibrary {
    const char* fileName;  // lower case
    LookupFunction lookup;
};

void* LookupD3DRM(const char* name) {
    if (name && std::string_view(name) == "Direct3DRMCreate")
        return reinterpret_cast<void*>(&d3drm::Direct3DRMCreate);
    return nullptr;
}

const BuiltinLibrary kBuiltins[] = {
    {"ddraw.dll", &ddraw::LookupEntryPoint},
    {"d3drm.dll", &LookupD3DRM},
};

struct LoadedLibrary {
    std::string fileName;
    const BuiltinLibrary* library;
};

struct LoaderState {
    std::vector<LoadedLibrary> loaded;
    std::set<std::string> missing;
    ~LoaderState() { loaded.clear(); }
};

LoaderState& Loader() {
    static LoaderState state;
    return state;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

[[noreturn]] void NotLoaded(const std::string& fileName) {
    throw Exception(FormatMessage(dxconsts::SDLLNotLoaded, fileName));
}

}  // namespace

void* DXLoadLibraryEntry(const std::string& fileName, const char* entryName) {
    const std::string key = Lower(fileName);
    LoaderState& state = Loader();
    auto it = std::find_if(state.loaded.begin(), state.loaded.end(),
                           [&](const LoadedLibrary& l) { return l.fileName == key; });
    if (it == state.loaded.end()) {
        if (state.missing.count(key)) NotLoaded(fileName);
        const auto* builtin = std::find_if(std::begin(kBuiltins), std::end(kBuiltins),
                                           [&](const BuiltinLibrary& b) { return key == b.fileName; });
        if (builtin == std::end(kBuiltins)) NotLoaded(fileName);
        state.loaded.push_back(LoadedLibrary{key, builtin});
        it = state.loaded.end() - 1;
    }
    void* entry = it->library->lookup(entryName);
    if (!entry) NotLoaded(fileName);
    return entry;
}

std::vector<std::string> DXLoadedLibraries() {
    std::vector<std::string> names;
    for (const LoadedLibrary& l : Loader().loaded) names.push_back(l.fileName);
    return names;
}

void DXFreeLibraries() { Loader().loaded.clear(); }

namespace dxlibrary::testing {
void SetLibraryMissing(const std::string& fileName, bool missing) {
    const std::string key = Lower(fileName);
    if (missing) {
        Loader().missing.insert(key);
        std::erase_if(Loader().loaded, [&](const LoadedLibrary& l) { return l.fileName == key; });
    } else {
        Loader().missing.erase(key);
    }
}
}  // namespace dxlibrary::testing
