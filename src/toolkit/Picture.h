// The picture container and the registry of picture classes.
//
// A TPicture holds at most one TGraphic. Picture classes register a factory
// under their class name (the name stored in form data, "TDIB"), and
// optionally under a file extension with a description ("dib", "Device
// Independent Bitmap") and as the reader of a clipboard format.
//
// The stored form of a picture (a form's `Picture.Data` value):
//
//   +---+----------------+------------------------------------+
//   | n | class name (n) | the graphic's own stored data ...   |
//   +---+----------------+------------------------------------+
//
// n = 0 stands for "no picture". A class name that no registered class bears
// leaves the picture without content and the rest of the data unread.
//
// The toolkit's own classes ("TBitmap", the JPEG image) are registered the
// first time the registry is used; the rendering layer registers "TDIB" with
// RegisterRenderPictureClasses() (render/DIB.h).
#pragma once

#include "toolkit/Graphic.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TPictureFileFormat {
    std::string extension;    // lower case, without the dot: "dib"
    std::string description;  // "Device Independent Bitmap"
    std::string className;    // "TDIB"
};

// Clipboard format numbers of the platform that pictures use.
inline constexpr std::uint16_t CF_BITMAP = 2;
inline constexpr std::uint16_t CF_DIB = 8;

class TPicture : public TPersistent {
public:
    static constexpr std::size_t kMaxClassNameLength = 63;

    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    const char* ClassName() const override { return "TPicture"; }

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    // Null empties the picture; a TPicture or a TGraphic is copied (a new
    // graphic of the same class with the same stored data).
    void Assign(const TPersistent* source);

    // The stored form above. On a failing read the container keeps the
    // picture it had and the error passes on.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;

    // File forms, chosen by the file's extension (without regard to case):
    // EInvalidGraphic "Unknown picture file extension (.%s)" otherwise.
    void LoadFromFile(const std::filesystem::path& path);
    void SaveToFile(const std::filesystem::path& path) const;

    // The desktop clipboard. Formats travel under a MIME type of their own
    // (ClipboardMimeType), so pictures copied here can be pasted here.
    void CopyToClipboard() const;
    void PasteFromClipboard();
    static bool ClipboardHasFormat(std::uint16_t format);
    static std::string ClipboardMimeType(std::uint16_t format);

    // Registry.
    static void RegisterClass(const std::string& className, TGraphicFactory factory);
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const std::string& className, TGraphicFactory factory);
    static void RegisterClipboardFormat(std::uint16_t format, const std::string& className,
                                        TGraphicFactory factory);
    // Removes the class with its extensions and clipboard formats.
    static void UnregisterGraphicClass(const std::string& className);
    // A new, empty graphic of the named class, or null for an unknown name.
    static std::unique_ptr<TGraphic> CreateGraphic(const std::string& className);
    static const TPictureFileFormat* FindFileFormat(std::string extension);
    static std::vector<TPictureFileFormat> FileFormats();

    std::function<void(TPicture&)> OnChange;

private:
    void Changed();

    std::unique_ptr<TGraphic> graphic_;
};
