// Feeds arbitrary text to the layout reader, then reads every property back
// through the binder as each kind, as the window code does. Anything but a
// clean tree or an ELayoutError is a finding.
#include "toolkit/StoredLayout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Visit(const TLayoutBinder& binder, const std::vector<TLayoutProperty>& properties) {
    for (const TLayoutProperty& property : properties) {
        try { binder.Int32(property); } catch (const ELayoutError&) {}
        try { binder.Boolean(property); } catch (const ELayoutError&) {}
        try { binder.String(property); } catch (const ELayoutError&) {}
        try { binder.Symbol(property); } catch (const ELayoutError&) {}
        try { binder.Set(property); } catch (const ELayoutError&) {}
        try { binder.Bytes(property); } catch (const ELayoutError&) {}
        try {
            for (const TLayoutItem& item : binder.Collection(property)) Visit(binder, item.properties);
        } catch (const ELayoutError&) {}
    }
}

void VisitComponent(const TStoredLayout& layout, const TLayoutComponent& component) {
    const TLayoutBinder binder(layout, component.name);
    Visit(binder, component.properties);
    for (const TLayoutComponent& child : component.children) VisitComponent(layout, child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Small caps keep each run cheap; the reader must honour them exactly.
    TLayoutLimits limits;
    limits.maxTotalBytes = 1u << 16;
    limits.maxItems = 64;
    limits.maxProperties = 256;
    // Every file exists and holds its own name, so `file` and `graphic`
    // values are exercised without touching the disk.
    const TLayoutFileResolver resolver = [](const std::string& path) {
        if (path.size() % 7 == 3) throw ELayoutError("refused");
        return std::vector<std::uint8_t>(path.begin(), path.end());
    };
    try {
        const TStoredLayout layout = ParseStoredLayout(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.layout", resolver, limits);
        VisitComponent(layout, layout.root);
    } catch (const ELayoutError&) {
    }
    return 0;
}
