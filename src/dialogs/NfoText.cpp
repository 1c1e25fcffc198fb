#include "dialogs/NfoText.h"

#include "toolkit/Cp437.h"
#include "toolkit/Exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>

namespace {
[[noreturn]] void ThrowTooLarge() { throw EMemoTooLarge("Text exceeds memo capacity"); }
}  // namespace

std::string NormalizeNfoText(std::string_view bytes, std::size_t capacity, std::size_t maxLine) {
    const size_t zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    // Every input byte yields at least one output byte, so an input that is
    // already too long can be refused before anything is allocated.
    if (bytes.size() > capacity) ThrowTooLarge();

    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    size_t line = 0;  // bytes of the line being copied
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            text += "\r\n";
            line = 0;
        } else {
            text += c;
            if (++line > maxLine) ThrowTooLarge();
        }
        if (text.size() > capacity) ThrowTooLarge();
    }
    return text;
}

QString NfoDisplayText(std::string_view normalized) {
    QString shown;
    shown.reserve(qsizetype(normalized.size()));
    size_t start = 0;
    while (start <= normalized.size()) {
        size_t end = normalized.find("\r\n", start);
        if (end == std::string_view::npos) end = normalized.size();
        shown += Cp437Decode(normalized.substr(start, end - start));
        if (end == normalized.size()) break;
        shown += QChar('\n');
        start = end + 2;
    }
    return shown;
}

QString DecodeNfo(std::string_view bytes, std::size_t capacity) {
    return NfoDisplayText(NormalizeNfoText(bytes, capacity));
}

std::string ReadNfoFile(const std::string& path, std::size_t capacity) {
    const QString name = QString::fromStdString(path);
    QFile file(name);
    // Only regular files: a folder cannot be read as text, and a device or
    // a pipe could block the open or never end.
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly))
        throw EFOpenError(FormatMessage("Cannot open file %s", path));

    // Read in pieces, stopping at the first 0 byte (nothing after it is
    // shown) or as soon as the text cannot fit.
    std::string bytes;
    std::array<char, 64 * 1024> chunk;
    for (;;) {
        const qint64 got = file.read(chunk.data(), qint64(chunk.size()));
        if (got < 0) throw EReadError(FormatMessage("Cannot read file %s", path));
        if (got == 0) break;
        const char* end = static_cast<const char*>(std::memchr(chunk.data(), 0, size_t(got)));
        const size_t used = end ? size_t(end - chunk.data()) : size_t(got);
        if (bytes.size() + used > capacity) throw EMemoTooLarge("Text exceeds memo capacity");
        bytes.append(chunk.data(), used);
        if (end) break;
    }
    return bytes;
}
