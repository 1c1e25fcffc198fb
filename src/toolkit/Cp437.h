// The DOS code page 437: what each byte looks like on a DOS text screen.
//
// Text made for DOS screens (information files with block art) is shown by
// mapping every byte to the Unicode character of its CP437 shape. The control
// range 0x01-0x1F and 0x7F have shapes too (faces, arrows, the house sign);
// the bytes that act as line breaks and tabs are left to the caller.
#pragma once

#include <QString>

#include <cstdint>
#include <string_view>

// The Unicode code point of the shape of `byte` in code page 437. Byte 0 maps
// to U+0000.
char16_t Cp437ToUnicode(std::uint8_t byte);

// Maps every byte of `bytes` to its CP437 shape, except tab (0x09), line feed
// (0x0A) and carriage return (0x0D), which keep their meaning as layout
// characters.
QString Cp437Decode(std::string_view bytes);
