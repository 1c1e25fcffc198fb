#include "TestArchive.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "unace/AceCrc.h"

namespace fs = std::filesystem;

namespace acetest {

namespace {
void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}
}  // namespace

std::vector<uint8_t> Block(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    Put16(out, unace::AceCrc16(body.data(), body.size()));
    Put16(out, uint16_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<uint8_t> BuildArchive(const std::vector<TestEntry>& entries, uint16_t mainFlags) {
    std::vector<uint8_t> main;
    main.push_back(uint8_t(unace::BlockType::Main));
    Put16(main, mainFlags);
    main.insert(main.end(), unace::kAceSignature, unace::kAceSignature + unace::kAceSignatureSize);
    main.insert(main.end(), {20, 20, uint8_t(unace::HostOs::Win32), 0});
    Put32(main, 0x41046DDA);   // creation time
    Put16(main, 0);
    Put16(main, 0);
    Put32(main, 0);
    main.push_back(0);         // AV_SIZE
    std::vector<uint8_t> out = Block(main);

    for (const TestEntry& e : entries) {
        std::vector<uint8_t> h;
        h.push_back(uint8_t(unace::BlockType::File32));
        Put16(h, e.flags);
        Put32(h, uint32_t(e.data.size()));
        Put32(h, uint32_t(e.origSize == UINT64_MAX ? e.data.size() : e.origSize));
        Put32(h, e.dosTime);
        Put32(h, e.attr);
        Put32(h, e.explicitCrc ? e.crc : unace::AceCrc32(e.data.data(), e.data.size()));
        h.push_back(e.method);
        h.push_back(3);
        Put16(h, e.techParm);
        Put16(h, 0);
        Put16(h, uint16_t(e.name.size()));
        h.insert(h.end(), e.name.begin(), e.name.end());
        const std::vector<uint8_t> block = Block(h);
        out.insert(out.end(), block.begin(), block.end());
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

std::string MakeTempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    const fs::path dir = fs::temp_directory_path() /
                         ("unace-test-" + std::to_string(::getpid()) + "-" + tag + "-" +
                          std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

std::vector<std::string> ListTree(const std::string& dir) {
    std::vector<std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
        out.push_back(fs::relative(it->path(), dir).string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace acetest
