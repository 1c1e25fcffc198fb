#pragma once

// Pictures of the folder dialog and the program icon.

#include "IndexedImage.h"

#include <QImage>
#include <QString>

#include <vector>

namespace assetgen {

// 301 x 213, 8 bits, two colours: pale orange ground, the group's name in
// salmon running diagonally across.
IndexedImage MakeDialogBackground();

struct Glyph {
    QString fileName; // without folder
    IndexedImage image;
};
// OPENFOLDER, CURRENTFOLDER, CLOSEDFOLDER (16 x 15) and the drive kinds
// FLOPPY, HARD, NETWORK, CDROM, RAM (16 x 11); 4 bits each, the bottom-left
// pixel holding the colour that is drawn transparent.
std::vector<Glyph> MakeListGlyphs();

struct Icon {
    IndexedImage image; // 32 x 32, 4 bits
    std::vector<bool> transparent;
    QImage preview; // with alpha, for the .png copy
};
Icon MakeProgramIcon();

} // namespace assetgen
