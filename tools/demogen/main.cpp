// demogen: writes the sample content of the demo release, always the same
// bytes for the same arguments.
//
//   demogen OUTPUT_FOLDER [--scale N]
//
// OUTPUT_FOLDER/content/   the files to install: a program-like binary,
//                          manual chapters and notes (text), maps (structured
//                          binary), textures (gradients with grain), sounds
//                          and music (noise: incompressible), an empty folder
//                          and an empty file
// OUTPUT_FOLDER/skyforge.nfo   release notes with CP437 block art, CRLF
// OUTPUT_FOLDER/settings.reg, controls.reg   Windows registry files
//
// --scale N multiplies the bulk content (about 5 MiB at 1), for benchmark
// archives of any size.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// splitmix64: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

private:
    uint64_t State;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "demogen: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// ---- text ---------------------------------------------------------------

const std::array<const char*, 64> kWords = {
    "the", "of", "and", "to", "a", "in", "your", "is", "unit", "units", "squad", "turn", "tower", "forge",
    "sky", "island", "wind", "airship", "deck", "cannon", "range", "move", "attack", "defend", "shield",
    "engineer", "scout", "pilot", "mechanic", "storm", "cloud", "ember", "iron", "copper", "steam", "valve",
    "map", "tile", "height", "bonus", "penalty", "damage", "armour", "crew", "mission", "campaign", "harbour",
    "north", "light", "signal", "flag", "route", "fuel", "cargo", "bridge", "rope", "anchor", "hull", "sail",
    "when", "each", "every", "may", "must"};

std::string Sentence(Rng& rng) {
    std::string s;
    const unsigned words = 5 + rng.Below(12);
    for (unsigned i = 0; i < words; ++i) {
        std::string w = kWords[rng.Below(kWords.size())];
        if (i == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
        if (i) s += ' ';
        s += w;
        if (i + 1 < words && rng.Below(9) == 0) s += ',';
    }
    s += rng.Below(7) == 0 ? "!" : ".";
    return s;
}

std::string Paragraphs(Rng& rng, size_t bytes, const std::string& title) {
    std::string text = title + "\r\n" + std::string(title.size(), '=') + "\r\n\r\n";
    while (text.size() < bytes) {
        std::string line;
        const unsigned sentences = 2 + rng.Below(5);
        for (unsigned i = 0; i < sentences; ++i) {
            const std::string s = Sentence(rng);
            if (line.size() + s.size() + 1 > 72) {
                text += line + "\r\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + s;
        }
        text += line + "\r\n\r\n";
        if (rng.Below(6) == 0) {
            char head[64];
            std::snprintf(head, sizeof head, "%u.%u  %s %s\r\n\r\n", 1 + rng.Below(9), 1 + rng.Below(9),
                          kWords[rng.Below(kWords.size())], kWords[rng.Below(kWords.size())]);
            text += head;
        }
    }
    text.resize(bytes);
    return text;
}

// ---- binary -------------------------------------------------------------

// Something like a program image: a header, code made of a small set of
// instruction patterns with varying operands, string tables and zero padding.
std::string ProgramImage(Rng& rng, size_t bytes) {
    std::string b = "MZ";
    b.resize(512, '\0');
    static const std::array<std::string, 8> kPatterns = {
        std::string("\x55\x8B\xEC\x83\xEC", 5), std::string("\xE8\0\0\0\0", 5), std::string("\x8B\x45\x08", 3),
        std::string("\x89\x45\xFC", 3),         std::string("\x6A\x00", 2),     std::string("\xC3\xCC\xCC", 3),
        std::string("\x0F\xB6\x4D\x0C", 4),     std::string("\x74\x10", 2)};
    while (b.size() < bytes * 3 / 4) {
        std::string p = kPatterns[rng.Below(kPatterns.size())];
        if (p[0] == '\xE8' || p.size() == 2)
            for (size_t i = 1; i < p.size(); ++i) p[i] = static_cast<char>(rng.Below(rng.Below(4) ? 16 : 256));
        b += p;
    }
    while (b.size() < bytes * 7 / 8) b += "SKYFORGE_" + std::string(kWords[rng.Below(kWords.size())]) + '\0';
    b.resize(bytes, '\0');
    return b;
}

// Tile maps: runs of terrain with scattered objects.
std::string TileMap(Rng& rng, unsigned width, unsigned height) {
    std::string m = "SKMAP\x01";
    m += static_cast<char>(width);
    m += static_cast<char>(height);
    uint8_t terrain = 1;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            if (rng.Below(12) == 0) terrain = static_cast<uint8_t>(1 + rng.Below(6));
            m += static_cast<char>(terrain);
            m += static_cast<char>(rng.Below(20) == 0 ? 0x40 + rng.Below(16) : 0);
            m += static_cast<char>(y / 8);
            m += static_cast<char>(x / 8);
        }
    return m;
}

// Textures: smooth gradients with a little grain (partly compressible).
std::string Texture(Rng& rng, unsigned size) {
    std::string t(size_t(size) * size * 3, '\0');
    const double fx = 1 + rng.Below(5), fy = 1 + rng.Below(5);
    for (unsigned y = 0; y < size; ++y)
        for (unsigned x = 0; x < size; ++x) {
            const double v = 0.5 + 0.5 * std::sin(fx * x / size * 6.283) * std::cos(fy * y / size * 6.283);
            const size_t at = (size_t(y) * size + x) * 3;
            t[at] = static_cast<char>(40 + v * 120 + rng.Below(6));
            t[at + 1] = static_cast<char>(60 + v * 100 + rng.Below(6));
            t[at + 2] = static_cast<char>(90 + v * 140);
        }
    return t;
}

// Sounds and music: noise, as packed audio looks to a compressor.
std::string Noise(Rng& rng, size_t bytes) {
    std::string n(bytes, '\0');
    for (size_t i = 0; i < bytes; i += 8) {
        const uint64_t v = rng.Next();
        for (size_t k = 0; k < 8 && i + k < bytes; ++k) n[i + k] = static_cast<char>(v >> (8 * k));
    }
    return n;
}

// ---- NFO ------------------------------------------------------------------

// 4 x 5 capitals, row by row, '#' = set.
const char* Glyph(char c) {
    switch (c) {
        case 'S': return " ####    ##    #### ";
        case 'K': return "#  ## # ##  # # #  #";
        case 'Y': return "#  ##  # ##  ##  ## ";
        case 'F': return "#####   ### #   #   ";
        case 'O': return " ## #  ##  ##  # ## ";
        case 'R': return "### #  #### # # #  #";
        case 'G': return " ####   # ###  # ###";
        case 'E': return "#####   ### #   ####";
        case 'T': return "#### ##  ##  ##  ## ";
        case 'A': return " ## #  ######  ##  #";
        case 'C': return " ####   #   #    ###";
        case 'I': return "#### ##  ##  ## ####";
        default: return "                    ";
    }
}

// Big letters: every pixel two full blocks wide, letters five pixels apart,
// with a light-shade shadow one pixel down and to the right.
std::string BlockLetters(const std::string& word, size_t indent) {
    auto set = [&](size_t letter, int row, int col) {
        if (row < 0 || row >= 5 || col < 0 || col >= 4 || letter >= word.size()) return false;
        return Glyph(word[letter])[row * 4 + col] == '#';
    };
    std::string out;
    for (int row = 0; row < 6; ++row) {
        std::string line(indent, ' ');
        for (size_t letter = 0; letter < word.size(); ++letter)
            for (int col = 0; col < 5; ++col) {
                const bool on = set(letter, row, col);
                const bool shadow = !on && set(letter, row - 1, col - 1);
                line += on ? "\xDB\xDB" : shadow ? "\xB0\xB0" : "  ";
            }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\r\n";
    }
    return out;
}

std::string Framed(const std::string& text) {
    // A double-line box of 76 columns around left-aligned lines.
    std::string out = std::string(" \xC9") + std::string(74, '\xCD') + "\xBB\r\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        line.resize(72, ' ');
        out += " \xBA " + line + " \xBA\r\n";
        start = end + 1;
    }
    out += std::string(" \xC8") + std::string(74, '\xCD') + "\xBC\r\n";
    return out;
}

std::string Nfo() {
    std::string n;
    n += std::string(78, '\xDC') + "\r\n";
    n += "\r\n" + BlockLetters("SKYFORGE", 0) + "\r\n";
    n += BlockLetters("TACTICS", 5) + "\r\n";
    n += std::string(" ") + std::string(24, '\xB0') + std::string(24, '\xB1') + std::string(24, '\xB2') + "\xDB\xDB\r\n";
    n += "\r\n";
    n += Framed(
        "SKYFORGE TACTICS                           (c) Northlight Interactive\n"
        "\n"
        "Release ....... 1.0 (demo)              Volumes ..... see install.ini\n"
        "Genre ......... turn-based tactics      Players ..... 1\n"
        "\n"
        "Command a squad of airship crews across the floating islands of the\n"
        "Skyforge. Every tile has a height; every turn the wind changes.");
    n += "\r\n";
    n += Framed(
        "INSTALLING\n"
        "\n"
        "1. Start install from this folder and choose Install.\n"
        "2. Pick a destination folder, or make a new one.\n"
        "3. After the files are in place, the two registry files are opened\n"
        "   so that the game finds its settings and key bindings.");
    n += "\r\n " + std::string(20, '\xC4') + " \xFE greetings to every crew in the northern lights \xFE " +
         std::string(6, '\xC4') + "\r\n";
    n += std::string(78, '\xDF') + "\r\n";
    return n;
}

std::string SettingsReg() {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Northlight Interactive\\Skyforge Tactics]\r\n"
           "\"Version\"=\"1.0\"\r\n"
           "\"Language\"=\"en\"\r\n"
           "\"ScreenWidth\"=dword:00000320\r\n"
           "\"ScreenHeight\"=dword:00000258\r\n"
           "\"MusicVolume\"=dword:00000050\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Northlight Interactive\\Skyforge Tactics\\Campaign]\r\n"
           "\"Difficulty\"=\"Veteran\"\r\n"
           "\"LastMission\"=dword:00000000\r\n";
}

std::string ControlsReg() {
    std::string r = "Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Northlight Interactive\\Skyforge Tactics\\Controls]\r\n";
    const char* actions[] = {"EndTurn", "NextUnit", "Attack", "Move", "Defend", "Map", "Menu", "Camera"};
    const char* keys[] = {"Return", "Tab", "A", "M", "D", "F2", "Escape", "Space"};
    for (size_t i = 0; i < 8; ++i) r += std::string("\"") + actions[i] + "\"=\"" + keys[i] + "\"\r\n";
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4 || (argc > 2 && std::string(argv[2]) != "--scale") || argc == 3) {
        std::fprintf(stderr, "usage: demogen OUTPUT_FOLDER [--scale N]\n");
        return 2;
    }
    const fs::path out = argv[1];
    unsigned scale = 1;
    if (argc == 4) {
        char* end = nullptr;
        const unsigned long s = std::strtoul(argv[3], &end, 10);
        if (*end != '\0' || s < 1 || s > 10000) {
            std::fprintf(stderr, "demogen: the scale must be 1 to 10000\n");
            return 2;
        }
        scale = static_cast<unsigned>(s);
    }
    const fs::path content = out / "content";
    std::error_code ec;
    fs::remove_all(content, ec);
    Rng rng(0x5C7F0E6E);

    WriteFile(content / "Skyforge.exe", ProgramImage(rng, 640 * 1024));
    WriteFile(content / "Release Notes.txt", Paragraphs(rng, 18000, "Skyforge Tactics - release notes"));
    WriteFile(content / "config" / "default.cfg",
              "; Skyforge Tactics settings\r\nresolution=800x600\r\nwindowed=0\r\nmusic=80\r\nsound=100\r\n");
    WriteFile(content / "config" / "user.cfg", "");
    fs::create_directories(content / "saves", ec);
    for (unsigned s = 0; s < scale; ++s) {
        const std::string set = scale == 1 ? "" : "set" + std::to_string(s + 1);
        const fs::path base = scale == 1 ? content : content / "bulk" / set;
        for (int c = 1; c <= 6; ++c) {
            char name[32];
            std::snprintf(name, sizeof name, "Chapter %02d.txt", c);
            WriteFile(base / "manual" / name, Paragraphs(rng, 200 * 1024, std::string("Chapter ") + std::to_string(c)));
        }
        const char* regions[] = {"harbour", "storm front", "iron reach", "ember isles", "north light", "anchorage",
                                 "cloud sea", "copper ridge"};
        for (const char* region : regions)
            WriteFile(base / "data" / "maps" / (std::string(region) + ".map"), TileMap(rng, 128, 128));
        for (int t = 0; t < 4; ++t)
            WriteFile(base / "data" / "textures" / ("surface" + std::to_string(t) + ".tex"), Texture(rng, 256));
        const char* sounds[] = {"cannon", "wind", "bell"};
        for (const char* sound : sounds)
            WriteFile(base / "data" / "sound" / (std::string(sound) + ".snd"), Noise(rng, 300 * 1024));
        WriteFile(base / "data" / "music" / "theme.mus", Noise(rng, 1024 * 1024));
    }
    WriteFile(out / "skyforge.nfo", Nfo());
    WriteFile(out / "settings.reg", SettingsReg());
    WriteFile(out / "controls.reg", ControlsReg());
    return 0;
}
