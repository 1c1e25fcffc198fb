// Stored window layouts: the text form a window's components and their
// published properties are kept in, and its reader.
//
// A layout is compiled into the program as a Qt resource and read while the
// window is made; the window then hands each component the properties stored
// under its name. The format is small on purpose:
//
//   # A comment runs from '#' to the end of the line.
//   layout 1                              <- format version, first statement
//   form Form1 : TForm1                   <- the root component
//       Caption = "Install"
//       component DXTimer1 : TDXTimer     <- owned components, in creation order
//           Interval = 10
//           OnTimer = DXTimer1Timer
//       end
//       component DXImageList1 : TDXImageList
//           Items = (                     <- a collection: a list of items
//               item
//                   Name = "bg"
//                   Picture.Data = graphic "TDIB" file "pictures/bg.dib"
//               end
//           )
//       end
//   end
//
// Values:
//   integer     -12, 0x1F (decimal or 0x hexadecimal, signed 64-bit range)
//   boolean     true, false
//   string      "text" with the escapes \\ \" \n \t \xHH (bytes, not UTF-8
//               decoding: the program's strings are Windows-1252 bytes)
//   symbol      a bare name: a handler, a component, an option, clBlack
//   set         [doWaitVBlank, do3D]        (possibly empty: [])
//   bytes       hex "00ff10"                (whitespace allowed inside)
//               file "pictures/star.dib"    (the bytes of a bundled file)
//               graphic "TDIB" file "..."   (a picture's stored form: the
//                    class name with its length byte, then the file's bytes)
//   collection  ( item ... end  item ... end )
//
// Files named by `file` are looked up by the caller's resolver, relative to
// the layout; names are plain relative paths (letters, digits, '_', '-',
// '.', '/'; no "..", no leading '/'). Every declared size is capped (see
// TLayoutLimits), and any fault is reported as ELayoutError naming the
// layout and the line.
#pragma once

#include "toolkit/Exceptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

DECLARE_EXCEPTION(ELayoutError, EReadError);

struct TLayoutItem;

struct TLayoutValue {
    enum class Kind { Integer, Boolean, String, Symbol, Set, Bytes, Collection };

    Kind kind = Kind::Integer;
    int line = 0;
    std::int64_t integer = 0;
    bool boolean = false;
    std::string text;                 // String and Symbol
    std::vector<std::string> members; // Set
    std::vector<std::uint8_t> bytes;  // Bytes
    std::vector<TLayoutItem> items;   // Collection
};

struct TLayoutProperty {
    std::string name;  // may be dotted: "Picture.Data", "Display.Width"
    TLayoutValue value;
    int line = 0;
};

struct TLayoutItem {
    std::vector<TLayoutProperty> properties;
    int line = 0;
};

struct TLayoutComponent {
    std::string name;
    std::string className;
    std::vector<TLayoutProperty> properties;
    std::vector<TLayoutComponent> children;
    int line = 0;

    // The direct child of that name, or null.
    const TLayoutComponent* Child(std::string_view childName) const;
};

struct TStoredLayout {
    std::string source;  // the layout's name in messages
    TLayoutComponent root;
};

struct TLayoutLimits {
    std::size_t maxTextBytes = 1u << 20;       // the layout text itself
    std::size_t maxTotalBytes = 64u << 20;     // all bytes values together
    std::size_t maxStringBytes = 64u << 10;    // one string literal
    std::size_t maxNameBytes = 255;            // names and symbols
    std::size_t maxSetMembers = 64;
    std::size_t maxItems = 4096;               // items of one collection
    std::size_t maxProperties = 4096;          // properties of one component or item
    int maxDepth = 8;                          // component nesting
};

// Supplies the bytes of a file a layout names, or throws.
using TLayoutFileResolver = std::function<std::vector<std::uint8_t>(const std::string& path)>;

// Parses a layout text. `source` names it in messages. A null resolver
// refuses every `file` value.
TStoredLayout ParseStoredLayout(std::string_view text, const std::string& source,
                                const TLayoutFileResolver& resolver,
                                const TLayoutLimits& limits = {});

// Reads a layout from the program's resources (":/layouts/TForm1.layout"),
// resolving `file` values in the same resource folder.
TStoredLayout LoadStoredLayoutResource(const std::string& resourcePath);

// Helpers for the code that hands stored properties to components. Each
// checks the value's kind (and range) and raises ELayoutError naming the
// layout, line and property otherwise.
class TLayoutBinder {
public:
    TLayoutBinder(const TStoredLayout& layout, std::string owner)
        : layout_(layout), owner_(std::move(owner)) {}

    std::int32_t Int32(const TLayoutProperty& property) const;
    bool Boolean(const TLayoutProperty& property) const;
    std::string String(const TLayoutProperty& property) const;
    std::string Symbol(const TLayoutProperty& property) const;
    const std::vector<std::string>& Set(const TLayoutProperty& property) const;
    const std::vector<std::uint8_t>& Bytes(const TLayoutProperty& property) const;
    const std::vector<TLayoutItem>& Collection(const TLayoutProperty& property) const;

    [[noreturn]] void Fail(int line, const std::string& what) const;
    [[noreturn]] void UnknownProperty(const TLayoutProperty& property) const;

private:
    const TStoredLayout& layout_;
    std::string owner_;  // "DXDraw1", "DXImageList1.Items[3]"
};
