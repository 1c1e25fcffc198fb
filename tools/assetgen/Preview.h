#pragma once

// Mock-ups of the two screens the pictures make up, for looking at the art
// as a user will see it. Not part of the stored output.

#include "EmblemMesh.h"
#include "ScreenPictures.h"

#include <QImage>

#include <vector>

namespace assetgen {

const IndexedImage& PictureNamed(const std::vector<NamedPicture>& catalogue, const QString& name);

// Title screen: emblem behind "bg" (black keyed out), logo, the two text
// lines, the buttons (the one under hoverButton, 0..2, in its hover state;
// -1 for none).
QImage TitleScreenMockup(const std::vector<NamedPicture>& catalogue, const Mesh& emblem, double angle, int hoverButton);

// Extraction frame: "bg" opaque, logo, hint, entry and volume lines, both
// bars part-way.
QImage ExtractionMockup(const std::vector<NamedPicture>& catalogue);

} // namespace assetgen
