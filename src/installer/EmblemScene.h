// The rotating emblem behind the title screen: frames kept for the whole
// run of the program, and the temporary texture file of its build.
#pragma once

#include "platform/d3drm/Frame.h"

#include <string>

// The three frames of the scene (null before the first build).
d3drm::IDirect3DRMFrame* LightFrame1();
d3drm::IDirect3DRMFrame* LightFrame2();
d3drm::IDirect3DRMFrame* EmblemFrame();
// Drops the frames (end of the program, tests).
void ReleaseEmblemScene();

// Creates a fresh, private temporary file for the emblem's texture and
// returns its path; throws EFCreateError "Cannot create file %s" when no
// file can be made in `folder`.
std::string CreateTextureTempFile(const std::string& folder);
// The folder temporary texture files go to (tests may change it).
std::string TextureTempFolder();
void SetTextureTempFolderForTesting(const std::string& folder);
