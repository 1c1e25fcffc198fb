// The rotating emblem scene of the title screen.
#include "installer/TForm1.h"

// PLACE OF THE EMBLEM SCENE STEP. The scene (program folder as the current
// folder, the mesh install.dat with the "lake" texture, lights, camera and
// the turning frame) is built here, as the first step of DXDraw1Initialize.
// Until it is written the title screen shows the background without an
// emblem behind it.
void TForm1::BuildEmblemScene() {}

// Device qualities of the emblem scene, once the drawing surface has its
// 3D device. Belongs with the scene above.
void TForm1::DXDraw1InitializeSurface(QObject*) {}
