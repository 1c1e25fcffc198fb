// Information files (".nfo") as the viewer holds and shows them.
//
// The viewer keeps the file's bytes with uniform line breaks and shows each
// byte as its shape in the DOS code page 437. These are pure functions so
// that the rules can be tested and fuzzed without a window.
#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

// The most bytes the viewer's text area holds. Real information files are a
// few KiB; 8 MiB leaves room for the largest ones and bounds what a damaged
// or hostile file can make us allocate.
constexpr std::size_t kNfoCapacity = 8u * 1024u * 1024u;
// The longest line it holds. Lines are not wrapped, and laying out one
// enormous line takes the text area seconds per MiB; 16 KiB is some two
// hundred screen widths, and keeps a full text on screen in about a second.
constexpr std::size_t kNfoMaxLineLength = 16u * 1024u;

// The bytes before the first 0 byte, with every CR LF, lone CR and lone LF
// made one CR LF. Throws EMemoTooLarge ("Text exceeds memo capacity") when
// the result would be longer than `capacity` bytes or a line longer than
// `maxLine` bytes.
std::string NormalizeNfoText(std::string_view bytes, std::size_t capacity = kNfoCapacity,
                             std::size_t maxLine = kNfoMaxLineLength);

// A normalised text as the text area shows it: one '\n' per CR LF, every
// other byte mapped to its CP437 shape (tabs kept).
QString NfoDisplayText(std::string_view normalized);

// Bytes of a file -> the text shown: NormalizeNfoText, then NfoDisplayText.
QString DecodeNfo(std::string_view bytes, std::size_t capacity = kNfoCapacity);

// Reads a file for the viewer: stops at the first 0 byte and never holds
// more than `capacity` bytes of it. Throws EFOpenError ("Cannot open file
// %s") when the file cannot be opened (missing, a folder, a device or pipe,
// no right to read),
// EMemoTooLarge when its text exceeds the capacity, EReadError when reading
// fails part way.
std::string ReadNfoFile(const std::string& path, std::size_t capacity = kNfoCapacity);
