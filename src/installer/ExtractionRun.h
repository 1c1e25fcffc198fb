// The extraction run's pieces that tests and benchmarks reach directly.
#pragma once

#include <cstdint>
#include <string>

// Width in pixels of the progress strip picture "progbar"; bars wider than
// this are cut to it.
constexpr int kProgressStripWidth = 299;
constexpr int kProgressStripHeight = 18;

// Width of the per-volume bar after `volumesDone` volume changes with
// `numFiles` expected volumes, cut to the strip.
int VolumeBarWidth(std::int32_t volumesDone, std::int32_t numFiles);
// Width of the per-file bar at a rounded percentage, cut to the strip.
int FileBarWidth(std::int32_t percent);
// The rounded per-file percentage of a running percentage (halves to even),
// kept within 32 bits.
std::int32_t PercentCell(double filePercent);
// The file-name part of a path: after the last backslash, slash or colon.
std::string FileNamePart(const std::string& path);
