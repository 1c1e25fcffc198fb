#include "dialogs/StoredPicture.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/Picture.h"

#include <QFile>

void InitDialogResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(dialogs);
        return true;
    }();
    (void)done;
}

QImage ReadStoredPicture(const QByteArray& data) {
    TReadOnlyMemoryStream stream(data.constData(), size_t(data.size()));
    TPicture picture;
    picture.ReadData(stream);
    const auto* bitmap = dynamic_cast<const TBitmap*>(picture.Graphic());
    return bitmap != nullptr ? bitmap->Image() : QImage();
}

QPixmap GlyphFromImage(const QImage& image) {
    if (image.isNull()) return {};
    QImage glyph = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = glyph.pixel(0, glyph.height() - 1);
    for (int y = 0; y < glyph.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(glyph.scanLine(y));
        for (int x = 0; x < glyph.width(); ++x)
            if (row[x] == key) row[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(glyph);
}

QPixmap LoadGlyph(const QString& resourcePath) {
    InitDialogResources();
    if (!QFile::exists(resourcePath)) return {};
    return GlyphFromImage(QImage(resourcePath));
}
