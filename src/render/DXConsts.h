// Messages and error types of the rendering layer's display objects and
// drawing surface. Messages with a placeholder are filled with
// FormatMessage (toolkit/Exceptions.h) or DisplayModeMessage below.
#pragma once

#include "toolkit/Exceptions.h"

#include <string>

namespace dxconsts {

// "%s" is the library's file name as given ("DDraw.dll", "D3DRM.dll").
inline constexpr const char* SDLLNotLoaded = "%s not loaded";
inline constexpr const char* SDirectXNotInitialized = "%s cannot be initialized";
inline constexpr const char* SCannotMade = "%s cannot be made";
inline constexpr const char* SNotMade = "%s not made";
inline constexpr const char* SNotFoundForm = "Form not found";
inline constexpr const char* SCannotChangeDisplayMode = "Display mode cannot be changed (%dx%d %dbit)";
inline constexpr const char* SInvalidDisplayBitCount = "It should be either of 8 or 16 or 24 or 32";
inline constexpr const char* SNecessaryDirectX5 = "Necessary since DirectX5";
inline constexpr const char* SNotFound3DDevice = "3D device not found";
inline constexpr const char* SInterfaceNotSupported = "Interface not supported";

// Names put into the placeholders above.
inline constexpr const char* SDirectDraw = "DirectDraw";
inline constexpr const char* SDirect3DRM = "Direct3D RetainedMode";
inline constexpr const char* SSurface = "Surface";
inline constexpr const char* SPrimarySurface = "Primary Surface";
inline constexpr const char* SClipper = "Clipper";
inline constexpr const char* SIDirectDraw = "IDirectDraw";
inline constexpr const char* SIDirectDrawSurface = "IDirectDrawSurface";
inline constexpr const char* SIDirectDrawPalette = "IDirectDrawPalette";
inline constexpr const char* SIDirectDrawClipper = "IDirectDrawClipper";
inline constexpr const char* SIDirect3DRMDevice = "IDirect3DRMDevice";
inline constexpr const char* SIDirect3DRMDevice2 = "IDirect3DRMDevice2";
inline constexpr const char* SIDirect3DDevice = "IDirect3DDevice";
inline constexpr const char* SIDirect3DDevice2 = "IDirect3DDevice2";

// "Display mode cannot be changed (640x480 8bit)".
std::string DisplayModeMessage(int width, int height, int bitCount);

}  // namespace dxconsts

// Base of the display objects' errors.
DECLARE_EXCEPTION(EDirectXError, Exception);
DECLARE_EXCEPTION(EDirectDrawError, EDirectXError);
DECLARE_EXCEPTION(EDirectDrawPaletteError, EDirectXError);
DECLARE_EXCEPTION(EDirectDrawClipperError, EDirectXError);
DECLARE_EXCEPTION(EDirectDrawSurfaceError, EDirectXError);
// Errors of the drawing surface control.
DECLARE_EXCEPTION(EDXDrawError, Exception);
// A required interface is not offered by an object ("Interface not supported").
DECLARE_EXCEPTION(EIntfCastError, Exception);
