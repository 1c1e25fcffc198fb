#include "toolkit/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>
#include <cmath>

bool IsFixedsysName(const std::string& name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
               .compare(QStringLiteral("fixedsys"), Qt::CaseInsensitive) == 0;
}

const QString& BundledRasterFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/unifont.otf"));
        if (id < 0) return QString();
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

QFont CanvasFont(const std::string& name, int pointSize) {
    if (IsFixedsysName(name)) {
        QFont font;
        const QString& family = BundledRasterFamily();
        if (family.isEmpty()) {
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        } else {
            font.setFamily(family);
        }
        // One strike only: the requested size is deliberately ignored.
        font.setPixelSize(kFixedsysCellHeight);
        font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setKerning(false);
        return font;
    }
    QFont font(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize * 96.0 / 72.0))));
    return font;
}
