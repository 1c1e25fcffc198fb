// Lets the 3D layer read textures from Windows bitmap files through TDIB,
// the picture reader of the rendering layer.
#pragma once

// Installs the loader that IDirect3DRM::LoadTexture uses. Safe to call more
// than once.
void InstallDIBTextureLoader();
