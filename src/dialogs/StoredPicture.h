// Pictures of the dialog's layout data and the small glyphs of the folder
// list and the drive box.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

// Makes sure the dialogs' resources (dialogs.qrc) are registered: a static
// library's resources are linked only when something refers to them.
void InitDialogResources();

// Reads a picture in the picture container's stored form (class name, then
// the class's own data; for "TBitmap" a 32-bit byte count and a complete
// bitmap file) and gives its pixels. Throws EInvalidGraphic or EReadError for
// damaged data; a picture of a class without pixels of its own gives a null
// image.
QImage ReadStoredPicture(const QByteArray& data);

// A glyph drawn with the colour of its bottom-left pixel as transparent.
QPixmap GlyphFromImage(const QImage& image);

// Loads a glyph from the resources; a null pixmap when it is not there.
QPixmap LoadGlyph(const QString& resourcePath);
