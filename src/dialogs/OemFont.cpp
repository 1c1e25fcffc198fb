#include "dialogs/OemFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont OemFont() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/dialogs/fonts/terminus.otb"));
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.front();
    }();
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(family);
    // A bitmap font has one strike per size; Qt registers the 12-pixel one
    // of the bundled file, which is the size the viewer wants.
    font.setPixelSize(12);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}
