// The OEM terminal font of the information viewer: Terminus, bundled in the
// program's resources, at its 12-pixel strike (6 x 12 character cells).
#pragma once

#include <QFont>

// The font, loaded from the resources on first use. Falls back to the
// system's fixed-pitch font at 12 pixels when the bundled file is missing.
QFont OemFont();
