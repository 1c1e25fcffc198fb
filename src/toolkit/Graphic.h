// The toolkit's abstract picture class and what it is drawn with.
//
// A TGraphic is one picture of some kind (a device-independent bitmap, a
// device bitmap, a JPEG image). It reads and writes its own stored data,
// loads and saves its file form, draws itself stretched into a rectangle of
// a painter, and reports its size, palette and emptiness. Pictures are held
// by a TPicture container (Picture.h), which finds picture classes by their
// stored class name and file extension.
#pragma once

#include "toolkit/Palette.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QImage;
class QPainter;
class TStream;

// A rectangle in pixels; Right and Bottom are excluded.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// The common base of everything that can be assigned to a picture.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

class TGraphic;
// Progress of a long read or write: stage, percentage done, whether the
// given rectangle may be redrawn now, and what is going on ("Loading").
using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage,
                                          std::uint8_t percentDone, bool redrawNow,
                                          const TRect& rect, const std::string& message)>;

class TGraphic : public TPersistent {
public:
    ~TGraphic() override = default;

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;

    // The picture's palette, or null when it has none. The picture owns it.
    virtual const TLogicalPalette* PaletteHandle() { return nullptr; }
    virtual void SetPalette(const TLogicalPalette* /*palette*/) {}

    // Draws the whole picture stretched into `rect` of the painter's device.
    virtual void DrawTo(QPainter& canvas, const TRect& rect) = 0;

    // The picture's own serial form (the part after the class name in a
    // stored picture) and its file form.
    virtual void ReadStored(TStream& stream) = 0;
    virtual void WriteStored(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;

    // Opens the file for reading and calls LoadFromStream; creates (or
    // truncates) the file and calls SaveToStream.
    void LoadFromFile(const std::filesystem::path& path);
    void SaveToFile(const std::filesystem::path& path);

    // Takes over the content of `source` (null: become empty). The base
    // raises EConvertError "Cannot assign a %s to a %s".
    virtual void AssignFrom(const TPersistent* source);

    // The clipboard form: a format number, a block of bytes and an optional
    // palette. The base supports none and raises EInvalidGraphic.
    virtual void SaveToClipboardFormat(std::uint16_t& format, std::vector<std::uint8_t>& data,
                                       const TLogicalPalette*& palette);
    virtual void LoadFromClipboardFormat(std::uint16_t format, const void* data, std::size_t size,
                                         const TLogicalPalette* palette);

    // Same class and the same stored data.
    virtual bool Equals(TGraphic& other);

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value) { transparent_ = value; }

    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }
    // Set when the picture's colours changed, for whoever realises palettes.
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }

    std::function<void(TGraphic&)> OnChange;
    TProgressEvent OnProgress;

protected:
    void Changed();
    void Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                  const TRect& rect, const std::string& message);
    [[noreturn]] void AssignError(const TPersistent* source) const;
    // `graphic` drawn onto an opaque black image of its size (null if empty),
    // for assigning one kind of picture from another.
    static QImage RenderedImage(TGraphic& graphic);
    // Draws `image` stretched into `rect` without smoothing (pictures keep
    // their hard pixel edges).
    static void DrawImageTo(QPainter& canvas, const TRect& rect, const QImage& image);

private:
    bool transparent_ = false;
    bool modified_ = false;
    bool paletteModified_ = false;
};
