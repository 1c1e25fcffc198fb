// Bitmap files written by ImageMagick are read with the right pixels and
// colour tables, and ImageMagick reads ours as the same pictures.
#include "DIBHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <functional>
#include <sstream>
#include <string>

namespace {

using Formula = std::function<std::uint32_t(int x, int y)>;  // 0xRRGGBB

std::uint32_t Rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r & 255) << 16) | ((g & 255) << 8) | (b & 255);
}

// The pictures made by data/make-data.sh.
struct Sample {
    const char* file;
    int width, height, bits;
    Formula color;
};

const Sample kSamples[] = {
    {"mono.bmp", 13, 5, 1, [](int x, int y) { return (x + y) % 3 == 0 ? 0xFFFFFFu : 0u; }},
    {"pal4.bmp", 9, 6, 4,
     [](int x, int y) {
         const int i = (x * 3 + y) % 16;
         return Rgb(i * 17, 255 - i * 17, (i * 53) % 256);
     }},
    {"pal8.bmp", 11, 7, 8, [](int x, int y) { return Rgb(x * 23, y * 37, x * y * 5 + 40); }},
    {"rgb24.bmp", 10, 6, 24, [](int x, int y) { return Rgb(x * 25, y * 40 + 3, x * 7 + y * 11); }},
};

std::filesystem::path DataFile(const char* name) { return std::filesystem::path(DIB_TEST_DATA_DIR) / name; }

TEST(ImageMagickFiles, ReadWithTheirPixelsAndColourTables) {
    for (const Sample& s : kSamples) {
        TDIB dib;
        dib.LoadFromFile(DataFile(s.file));
        ASSERT_EQ(dib.Width(), s.width) << s.file;
        ASSERT_EQ(dib.Height(), s.height);
        ASSERT_EQ(dib.BitCount(), s.bits);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                ASSERT_EQ(dib.PixelColor(x, y), s.color(x, y)) << s.file << " " << x << "," << y;
                if (s.bits <= 8) {  // the pixel's table entry is its colour
                    const TRGBQuad& q = dib.ColorTable[dib.GetPixel(x, y)];
                    ASSERT_EQ(Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue), s.color(x, y));
                }
            }
    }
}

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

// Pixels as ImageMagick's "txt:" listing gives them: "x,y: (...)  #RRGGBB ...".
std::map<std::pair<int, int>, std::uint32_t> PixelsByImageMagick(const std::filesystem::path& file) {
    std::map<std::pair<int, int>, std::uint32_t> pixels;
    std::istringstream lines(RunCommand("convert '" + file.string() + "' -depth 8 txt:- 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        int x, y;
        const auto hash = line.find('#');
        if (line.empty() || line[0] == '#' || hash == std::string::npos ||
            std::sscanf(line.c_str(), "%d,%d:", &x, &y) != 2)
            continue;
        pixels[{x, y}] = static_cast<std::uint32_t>(std::stoul(line.substr(hash + 1, 6), nullptr, 16));
    }
    return pixels;
}

TEST(ImageMagickFiles, OurFilesAreTheSamePicturesToImageMagick) {
    if (RunCommand("command -v convert").empty())
        GTEST_SKIP() << "ImageMagick is not installed";
    const auto dir = std::filesystem::temp_directory_path() / "dib_tests_magick";
    std::filesystem::create_directories(dir);
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        TDIB dib;
        for (int i = 0; i < 256; ++i)
            dib.ColorTable[i] = TRGBQuad{static_cast<std::uint8_t>(i * 5), static_cast<std::uint8_t>(i),
                                         static_cast<std::uint8_t>(255 - i), 0};
        dib.Allocate(7, 5, bits);
        FillPattern(dib, 3);
        const auto file = dir / ("ours" + std::to_string(bits) + ".bmp");
        dib.SaveToFile(file);
        const auto pixels = PixelsByImageMagick(file);
        ASSERT_EQ(pixels.size(), 35u) << bits << " bits";
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(pixels.at({x, y}), dib.PixelColor(x, y)) << bits << " bits at " << x << "," << y;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
