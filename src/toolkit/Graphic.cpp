#include "toolkit/Graphic.h"

#include "toolkit/Exceptions.h"
#include "toolkit/GraphicStream.h"

#include <QImage>
#include <QPainter>

#include <cstring>

void TGraphic::LoadFromFile(const std::filesystem::path& path) {
    TFileStream stream(path, TFileMode::fmOpenRead);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::filesystem::path& path) {
    TFileStream stream(path, TFileMode::fmCreate);
    SaveToStream(stream);
}

void TGraphic::AssignFrom(const TPersistent* source) { AssignError(source); }

void TGraphic::AssignError(const TPersistent* source) const {
    std::string message = "Cannot assign a ";
    message += source != nullptr ? source->ClassName() : "nil";
    message += " to a ";
    message += ClassName();
    throw EConvertError(message);
}

void TGraphic::SaveToClipboardFormat(std::uint16_t&, std::vector<std::uint8_t>&,
                                     const TLogicalPalette*&) {
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::LoadFromClipboardFormat(std::uint16_t, const void*, std::size_t,
                                       const TLogicalPalette*) {
    throw EInvalidGraphic("Unsupported clipboard format");
}

QImage TGraphic::RenderedImage(TGraphic& graphic) {
    if (graphic.Empty())
        return QImage();
    QImage image(graphic.Width(), graphic.Height(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    graphic.DrawTo(painter, TRect{0, 0, graphic.Width(), graphic.Height()});
    return image;
}

void TGraphic::DrawImageTo(QPainter& canvas, const TRect& rect, const QImage& image) {
    if (image.isNull() || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    canvas.save();
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), image);
    canvas.restore();
}

bool TGraphic::Equals(TGraphic& other) {
    if (&other == this)
        return true;
    if (std::strcmp(ClassName(), other.ClassName()) != 0 || Empty() != other.Empty())
        return false;
    TMemoryStream mine;
    TMemoryStream theirs;
    WriteStored(mine);
    other.WriteStored(theirs);
    return mine.Data() == theirs.Data();
}

void TGraphic::Changed() {
    modified_ = true;
    if (OnChange)
        OnChange(*this);
}

void TGraphic::Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                        const TRect& rect, const std::string& message) {
    if (OnProgress)
        OnProgress(*this, stage, percentDone, redrawNow, rect, message);
}
