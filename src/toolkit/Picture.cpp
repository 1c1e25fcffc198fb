#include "toolkit/Picture.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/JpegImage.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <cctype>
#include <map>

namespace {

struct ClassEntry {
    TGraphicFactory factory;
};

struct Registry {
    std::map<std::string, ClassEntry> classes;               // by class name
    std::vector<TPictureFileFormat> fileFormats;             // in registration order
    std::vector<std::pair<std::uint16_t, std::string>> clipboardFormats;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void AddClass(Registry& registry, const std::string& className, TGraphicFactory factory) {
    registry.classes[className] = ClassEntry{std::move(factory)};
}

void AddFileFormat(Registry& registry, const std::string& extension,
                   const std::string& description, const std::string& className) {
    const std::string key = Lower(extension);
    auto& formats = registry.fileFormats;
    formats.erase(std::remove_if(formats.begin(), formats.end(),
                                 [&](const TPictureFileFormat& f) { return f.extension == key; }),
                  formats.end());
    formats.push_back(TPictureFileFormat{key, description, className});
}

// The registry, with the toolkit's own picture classes in it from the start.
Registry& TheRegistry() {
    static Registry registry = [] {
        Registry r;
        AddClass(r, "TBitmap", [] { return std::make_unique<TBitmap>(); });
        AddFileFormat(r, "bmp", "Bitmaps", "TBitmap");
        r.clipboardFormats.emplace_back(CF_BITMAP, "TBitmap");
        AddClass(r, "TJPEGImage", [] { return std::make_unique<TJPEGImage>(); });
        AddFileFormat(r, "jpg", "JPEG Image File", "TJPEGImage");
        AddFileFormat(r, "jpeg", "JPEG Image File", "TJPEGImage");
        return r;
    }();
    return registry;
}

std::unique_ptr<TGraphic> CloneGraphic(const TGraphic& source) {
    auto& original = const_cast<TGraphic&>(source);
    auto copy = TPicture::CreateGraphic(original.ClassName());
    if (!copy)
        throw EInvalidGraphic(FormatMessage("Unknown picture class %s", original.ClassName()));
    TMemoryStream stored;
    original.WriteStored(stored);
    stored.SetPosition(0);
    copy->ReadStored(stored);
    copy->SetTransparent(original.Transparent());
    return copy;
}

QClipboard* DesktopClipboard() {
    if (QGuiApplication::instance() == nullptr)
        throw EInvalidOperation("Cannot open clipboard");
    return QGuiApplication::clipboard();
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    Changed();
}

void TPicture::Assign(const TPersistent* source) {
    if (source == nullptr) {
        SetGraphic(nullptr);
    } else if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        if (picture != this)
            SetGraphic(picture->graphic_ ? CloneGraphic(*picture->graphic_) : nullptr);
    } else if (const auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        SetGraphic(CloneGraphic(*graphic));
    } else {
        throw EConvertError(std::string("Cannot assign a ") + source->ClassName() + " to a " +
                            ClassName());
    }
}

void TPicture::ReadData(TStream& stream) {
    const std::uint8_t length = stream.ReadU8();
    std::string className(length, '\0');
    stream.ReadBuffer(className.data(), length);
    auto graphic = CreateGraphic(className);
    if (graphic)
        graphic->ReadStored(stream);  // on failure the new graphic dies here
    SetGraphic(std::move(graphic));
}

void TPicture::WriteData(TStream& stream) const {
    if (!graphic_) {
        stream.WriteU8(0);
        return;
    }
    std::string className = graphic_->ClassName();
    if (className.size() > kMaxClassNameLength)
        className.resize(kMaxClassNameLength);
    stream.WriteU8(static_cast<std::uint8_t>(className.size()));
    stream.WriteBuffer(className.data(), className.size());
    graphic_->WriteStored(stream);
}

void TPicture::LoadFromFile(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    if (!extension.empty() && extension[0] == '.')
        extension.erase(0, 1);
    const TPictureFileFormat* format = FindFileFormat(extension);
    if (format == nullptr)
        throw EInvalidGraphic(FormatMessage("Unknown picture file extension (.%s)", extension));
    auto graphic = CreateGraphic(format->className);
    if (!graphic)
        throw EInvalidGraphic(FormatMessage("Unknown picture file extension (.%s)", extension));
    graphic->LoadFromFile(path);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::filesystem::path& path) const {
    if (graphic_)
        graphic_->SaveToFile(path);
}

std::string TPicture::ClipboardMimeType(std::uint16_t format) {
    if (format == CF_DIB)
        return "image/x-dib";
    return "application/x-clipboard-format-" + std::to_string(format);
}

bool TPicture::ClipboardHasFormat(std::uint16_t format) {
    const QMimeData* mime = DesktopClipboard()->mimeData();
    return mime != nullptr &&
           mime->hasFormat(QString::fromStdString(ClipboardMimeType(format)));
}

void TPicture::CopyToClipboard() const {
    if (!graphic_)
        return;
    std::uint16_t format = 0;
    std::vector<std::uint8_t> data;
    const TLogicalPalette* palette = nullptr;
    graphic_->SaveToClipboardFormat(format, data, palette);
    auto* mime = new QMimeData;
    mime->setData(QString::fromStdString(ClipboardMimeType(format)),
                  QByteArray(reinterpret_cast<const char*>(data.data()),
                             static_cast<qsizetype>(data.size())));
    DesktopClipboard()->setMimeData(mime);
}

void TPicture::PasteFromClipboard() {
    const QMimeData* mime = DesktopClipboard()->mimeData();
    if (mime != nullptr) {
        for (const auto& [format, className] : TheRegistry().clipboardFormats) {
            const QString type = QString::fromStdString(ClipboardMimeType(format));
            if (!mime->hasFormat(type))
                continue;
            const QByteArray bytes = mime->data(type);
            auto graphic = CreateGraphic(className);
            if (!graphic)
                continue;
            graphic->LoadFromClipboardFormat(format, bytes.constData(),
                                             static_cast<std::size_t>(bytes.size()), nullptr);
            SetGraphic(std::move(graphic));
            return;
        }
    }
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TPicture::RegisterClass(const std::string& className, TGraphicFactory factory) {
    AddClass(TheRegistry(), className, std::move(factory));
}

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const std::string& className, TGraphicFactory factory) {
    Registry& registry = TheRegistry();
    AddClass(registry, className, std::move(factory));
    AddFileFormat(registry, extension, description, className);
}

void TPicture::RegisterClipboardFormat(std::uint16_t format, const std::string& className,
                                       TGraphicFactory factory) {
    Registry& registry = TheRegistry();
    AddClass(registry, className, std::move(factory));
    auto& formats = registry.clipboardFormats;
    formats.erase(std::remove_if(formats.begin(), formats.end(),
                                 [&](const auto& f) { return f.first == format; }),
                  formats.end());
    formats.emplace_back(format, className);
}

void TPicture::UnregisterGraphicClass(const std::string& className) {
    Registry& registry = TheRegistry();
    registry.classes.erase(className);
    std::erase_if(registry.fileFormats,
                  [&](const TPictureFileFormat& f) { return f.className == className; });
    std::erase_if(registry.clipboardFormats, [&](const auto& f) { return f.second == className; });
}

std::unique_ptr<TGraphic> TPicture::CreateGraphic(const std::string& className) {
    const Registry& registry = TheRegistry();
    const auto found = registry.classes.find(className);
    if (found == registry.classes.end())
        return nullptr;
    return found->second.factory();
}

const TPictureFileFormat* TPicture::FindFileFormat(std::string extension) {
    extension = Lower(std::move(extension));
    for (const TPictureFileFormat& format : TheRegistry().fileFormats)
        if (format.extension == extension)
            return &format;
    return nullptr;
}

std::vector<TPictureFileFormat> TPicture::FileFormats() { return TheRegistry().fileFormats; }

void TPicture::Changed() {
    if (OnChange)
        OnChange(*this);
}
