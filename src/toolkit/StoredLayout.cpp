#include "toolkit/StoredLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <limits>
#include <set>

namespace {

enum class TokenKind { Name, Integer, String, Punct, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;        // Name, String (decoded bytes), Punct (one character)
    std::int64_t value = 0;  // Integer
    int line = 1;
};

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
public:
    Parser(std::string_view text, const std::string& source, const TLayoutFileResolver& resolver,
           const TLayoutLimits& limits)
        : text_(text), source_(source), resolver_(resolver), limits_(limits) {}

    TStoredLayout Parse() {
        if (text_.size() > limits_.maxTextBytes)
            Fail(1, "the layout is larger than " + std::to_string(limits_.maxTextBytes) + " bytes");
        if (text_.find('\0') != std::string_view::npos) Fail(1, "the layout contains a zero byte");
        Advance();
        ExpectKeyword("layout", "the layout must start with 'layout <version>'");
        Token version = current_;
        if (version.kind != TokenKind::Integer || version.value != 1)
            Fail(version.line, "unsupported layout version (this reader knows version 1)");
        Advance();
        ExpectKeyword("form", "expected 'form <Name> : <Class>' after the version");
        TStoredLayout layout;
        layout.source = source_;
        layout.root = ParseComponentBody(1);
        if (current_.kind != TokenKind::End)
            Fail(current_.line, "unexpected " + Describe(current_) + " after the form's 'end'");
        return layout;
    }

private:
    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw ELayoutError(source_ + "(" + std::to_string(line) + "): " + what);
    }

    static std::string Describe(const Token& token) {
        switch (token.kind) {
            case TokenKind::Name: return "'" + token.text + "'";
            case TokenKind::Integer: return "the number " + std::to_string(token.value);
            case TokenKind::String: return "a string";
            case TokenKind::Punct: return "'" + token.text + "'";
            case TokenKind::End: return "the end of the layout";
        }
        return "?";
    }

    bool IsKeyword(const char* keyword) const {
        return current_.kind == TokenKind::Name && current_.text == keyword;
    }
    bool IsPunct(char c) const {
        return current_.kind == TokenKind::Punct && current_.text.size() == 1 && current_.text[0] == c;
    }

    void ExpectKeyword(const char* keyword, const std::string& what) {
        if (!IsKeyword(keyword)) Fail(current_.line, what + ", found " + Describe(current_));
        Advance();
    }
    void ExpectPunct(char c, const std::string& what) {
        if (!IsPunct(c)) Fail(current_.line, what + ", found " + Describe(current_));
        Advance();
    }
    std::string ExpectName(const std::string& what) {
        if (current_.kind != TokenKind::Name) Fail(current_.line, what + ", found " + Describe(current_));
        std::string name = current_.text;
        Advance();
        return name;
    }
    std::string ExpectString(const std::string& what) {
        if (current_.kind != TokenKind::String)
            Fail(current_.line, what + ", found " + Describe(current_));
        std::string text = current_.text;
        Advance();
        return text;
    }

    static bool IsReserved(const std::string& word) {
        static const std::set<std::string> reserved = {"layout", "form", "component", "end", "item",
                                                       "true",   "false", "hex",     "file", "graphic"};
        return reserved.count(word) != 0;
    }

    // After "form" or "component": Name ':' Class, properties and children, 'end'.
    TLayoutComponent ParseComponentBody(int depth) {
        if (depth > limits_.maxDepth)
            Fail(current_.line, "components are nested more than " + std::to_string(limits_.maxDepth) +
                                    " deep");
        TLayoutComponent component;
        component.line = current_.line;
        component.name = ExpectName("expected the component's name");
        if (component.name.find('.') != std::string::npos || IsReserved(component.name))
            Fail(component.line, "'" + component.name + "' cannot name a component");
        ExpectPunct(':', "expected ':' and the class after the component's name");
        component.className = ExpectName("expected the component's class");
        std::set<std::string> propertyNames;
        std::set<std::string> childNames;
        for (;;) {
            if (IsKeyword("end")) {
                Advance();
                return component;
            }
            if (IsKeyword("component")) {
                Advance();
                TLayoutComponent child = ParseComponentBody(depth + 1);
                if (!childNames.insert(child.name).second)
                    Fail(child.line, "a second component named '" + child.name + "' in '" +
                                         component.name + "'");
                if (component.children.size() >= limits_.maxProperties)
                    Fail(child.line, "too many components in '" + component.name + "'");
                component.children.push_back(std::move(child));
                continue;
            }
            if (current_.kind == TokenKind::End)
                Fail(current_.line, "the layout ends inside '" + component.name + "' (missing 'end')");
            TLayoutProperty property = ParseProperty();
            if (!propertyNames.insert(property.name).second)
                Fail(property.line, "'" + property.name + "' is stored twice for '" + component.name + "'");
            if (component.properties.size() >= limits_.maxProperties)
                Fail(property.line, "too many properties for '" + component.name + "'");
            component.properties.push_back(std::move(property));
        }
    }

    TLayoutProperty ParseProperty() {
        TLayoutProperty property;
        property.line = current_.line;
        if (current_.kind != TokenKind::Name || IsReserved(current_.text))
            Fail(current_.line, "expected a property name, found " + Describe(current_));
        property.name = current_.text;
        Advance();
        ExpectPunct('=', "expected '=' after the property name '" + property.name + "'");
        property.value = ParseValue();
        return property;
    }

    TLayoutValue ParseValue() {
        TLayoutValue value;
        value.line = current_.line;
        switch (current_.kind) {
            case TokenKind::Integer:
                value.kind = TLayoutValue::Kind::Integer;
                value.integer = current_.value;
                Advance();
                return value;
            case TokenKind::String:
                value.kind = TLayoutValue::Kind::String;
                value.text = current_.text;
                Advance();
                return value;
            case TokenKind::Name:
                return ParseNamedValue(std::move(value));
            case TokenKind::Punct:
                if (IsPunct('[')) return ParseSet(std::move(value));
                if (IsPunct('(')) return ParseCollection(std::move(value));
                break;
            case TokenKind::End:
                break;
        }
        Fail(current_.line, "expected a value, found " + Describe(current_));
    }

    TLayoutValue ParseNamedValue(TLayoutValue value) {
        const std::string word = current_.text;
        if (word == "true" || word == "false") {
            value.kind = TLayoutValue::Kind::Boolean;
            value.boolean = word == "true";
            Advance();
            return value;
        }
        if (word == "hex") {
            Advance();
            value.kind = TLayoutValue::Kind::Bytes;
            value.bytes = DecodeHex(ExpectString("expected a string of hexadecimal digits after 'hex'"),
                                    value.line);
            CountBytes(value.bytes.size(), value.line);
            return value;
        }
        if (word == "file") {
            Advance();
            value.kind = TLayoutValue::Kind::Bytes;
            value.bytes = ReadFile(ExpectString("expected a file name after 'file'"), value.line);
            return value;
        }
        if (word == "graphic") {
            Advance();
            const std::string className = ExpectString("expected the picture's class name after 'graphic'");
            if (className.empty() || className.size() > 63)
                Fail(value.line, "a picture class name must have 1 to 63 characters");
            ExpectKeyword("file", "expected 'file' and the picture's file after the class name");
            std::vector<std::uint8_t> content = ReadFile(ExpectString("expected a file name after 'file'"),
                                                         value.line);
            value.kind = TLayoutValue::Kind::Bytes;
            value.bytes.reserve(1 + className.size() + content.size());
            value.bytes.push_back(static_cast<std::uint8_t>(className.size()));
            value.bytes.insert(value.bytes.end(), className.begin(), className.end());
            value.bytes.insert(value.bytes.end(), content.begin(), content.end());
            CountBytes(1 + className.size(), value.line);
            return value;
        }
        if (IsReserved(word)) Fail(value.line, "expected a value, found '" + word + "'");
        value.kind = TLayoutValue::Kind::Symbol;
        value.text = word;
        Advance();
        return value;
    }

    TLayoutValue ParseSet(TLayoutValue value) {
        value.kind = TLayoutValue::Kind::Set;
        Advance();  // '['
        if (IsPunct(']')) {
            Advance();
            return value;
        }
        for (;;) {
            if (current_.kind != TokenKind::Name || IsReserved(current_.text))
                Fail(current_.line, "expected a set member, found " + Describe(current_));
            if (value.members.size() >= limits_.maxSetMembers)
                Fail(current_.line, "a set has more than " + std::to_string(limits_.maxSetMembers) +
                                        " members");
            if (std::find(value.members.begin(), value.members.end(), current_.text) != value.members.end())
                Fail(current_.line, "'" + current_.text + "' is twice in the set");
            value.members.push_back(current_.text);
            Advance();
            if (IsPunct(']')) {
                Advance();
                return value;
            }
            ExpectPunct(',', "expected ',' or ']' in the set");
        }
    }

    TLayoutValue ParseCollection(TLayoutValue value) {
        value.kind = TLayoutValue::Kind::Collection;
        Advance();  // '('
        for (;;) {
            if (IsPunct(')')) {
                Advance();
                return value;
            }
            if (!IsKeyword("item"))
                Fail(current_.line, "expected 'item' or ')' in the collection, found " + Describe(current_));
            if (value.items.size() >= limits_.maxItems)
                Fail(current_.line, "a collection has more than " + std::to_string(limits_.maxItems) +
                                        " items");
            TLayoutItem item;
            item.line = current_.line;
            Advance();
            std::set<std::string> names;
            while (!IsKeyword("end")) {
                if (current_.kind == TokenKind::End)
                    Fail(current_.line, "the layout ends inside an item (missing 'end')");
                TLayoutProperty property = ParseProperty();
                if (property.value.kind == TLayoutValue::Kind::Collection)
                    Fail(property.line, "an item cannot hold a collection");
                if (!names.insert(property.name).second)
                    Fail(property.line, "'" + property.name + "' is stored twice for one item");
                if (item.properties.size() >= limits_.maxProperties)
                    Fail(property.line, "too many properties for one item");
                item.properties.push_back(std::move(property));
            }
            Advance();  // 'end'
            value.items.push_back(std::move(item));
        }
    }

    std::vector<std::uint8_t> DecodeHex(const std::string& digits, int line) {
        std::vector<std::uint8_t> bytes;
        int high = -1;
        for (char c : digits) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
            int nibble = HexDigit(c);
            if (nibble < 0) Fail(line, "'hex' data holds a character that is not a hexadecimal digit");
            if (high < 0) {
                high = nibble;
            } else {
                bytes.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
                high = -1;
            }
        }
        if (high >= 0) Fail(line, "'hex' data has an odd number of digits");
        return bytes;
    }

    static bool IsSafeRelativePath(const std::string& path) {
        if (path.empty() || path.size() > 255 || path.front() == '/' || path.back() == '/') return false;
        for (char c : path)
            if (!(IsNameChar(c) || c == '-' || c == '.' || c == '/')) return false;
        // No empty, "." or ".." component.
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            std::string_view part(path.data() + start, end - start);
            if (part.empty() || part == "." || part == "..") return false;
            start = end + 1;
        }
        return true;
    }

    std::vector<std::uint8_t> ReadFile(const std::string& path, int line) {
        if (!IsSafeRelativePath(path))
            Fail(line, "'" + path + "' is not a plain relative file name inside the layout's folder");
        if (!resolver_) Fail(line, "this layout cannot refer to files ('" + path + "')");
        std::vector<std::uint8_t> bytes;
        try {
            bytes = resolver_(path);
        } catch (const std::exception& error) {
            Fail(line, "cannot read '" + path + "': " + error.what());
        }
        CountBytes(bytes.size(), line);
        return bytes;
    }

    void CountBytes(std::size_t count, int line) {
        if (count > limits_.maxTotalBytes - totalBytes_)
            Fail(line, "the layout's data is larger than " + std::to_string(limits_.maxTotalBytes) + " bytes");
        totalBytes_ += count;
    }

    // ---- lexer ----

    void Advance() {
        SkipBlanks();
        current_ = Token{};
        current_.line = line_;
        if (pos_ >= text_.size()) return;
        const char c = text_[pos_];
        if (IsNameStart(c)) {
            current_.kind = TokenKind::Name;
            std::size_t start = pos_;
            // Dotted names ("Picture.Data"): each part starts like a name.
            for (;;) {
                while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
                if (pos_ + 1 < text_.size() && text_[pos_] == '.' && IsNameStart(text_[pos_ + 1])) {
                    ++pos_;
                    continue;
                }
                break;
            }
            if (pos_ - start > limits_.maxNameBytes)
                Fail(line_, "a name is longer than " + std::to_string(limits_.maxNameBytes) + " characters");
            current_.text.assign(text_.substr(start, pos_ - start));
            return;
        }
        if (IsDigit(c) || (c == '-' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
            LexInteger();
            return;
        }
        if (c == '"') {
            LexString();
            return;
        }
        if (c == '=' || c == ':' || c == '[' || c == ']' || c == '(' || c == ')' || c == ',') {
            current_.kind = TokenKind::Punct;
            current_.text.assign(1, c);
            ++pos_;
            return;
        }
        const auto byte = static_cast<unsigned char>(c);
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", byte);
        Fail(line_, std::string("unexpected character ") + code);
    }

    void SkipBlanks() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    void LexInteger() {
        current_.kind = TokenKind::Integer;
        bool negative = false;
        if (text_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        unsigned base = 10;
        if (text_[pos_] == '0' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        }
        // Magnitude up to 2^63 (the most negative value); checked before each step.
        const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
        std::uint64_t magnitude = 0;
        std::size_t digits = 0;
        while (pos_ < text_.size()) {
            int digit = base == 16 ? HexDigit(text_[pos_]) : (IsDigit(text_[pos_]) ? text_[pos_] - '0' : -1);
            if (digit < 0) break;
            if (magnitude > (limit - static_cast<unsigned>(digit)) / base)
                Fail(line_, "a number is out of range");
            magnitude = magnitude * base + static_cast<unsigned>(digit);
            ++digits;
            ++pos_;
        }
        if (digits == 0) Fail(line_, "'0x' without hexadecimal digits");
        if (pos_ < text_.size() && IsNameChar(text_[pos_]))
            Fail(line_, "a number runs into a name (missing blank?)");
        current_.value = negative ? static_cast<std::int64_t>(0 - magnitude)
                                  : static_cast<std::int64_t>(magnitude);
    }

    void LexString() {
        current_.kind = TokenKind::String;
        const int startLine = line_;
        ++pos_;  // opening quote
        for (;;) {
            if (pos_ >= text_.size()) Fail(startLine, "a string is not closed");
            char c = text_[pos_++];
            if (c == '"') break;
            if (c == '\n') Fail(startLine, "a string runs past the end of its line");
            if (c == '\\') {
                if (pos_ >= text_.size()) Fail(startLine, "a string is not closed");
                char e = text_[pos_++];
                switch (e) {
                    case '\\': c = '\\'; break;
                    case '"': c = '"'; break;
                    case 'n': c = '\n'; break;
                    case 't': c = '\t'; break;
                    case 'x': {
                        int h = pos_ < text_.size() ? HexDigit(text_[pos_]) : -1;
                        int l = pos_ + 1 < text_.size() ? HexDigit(text_[pos_ + 1]) : -1;
                        if (h < 0 || l < 0) Fail(line_, "'\\x' must be followed by two hexadecimal digits");
                        c = static_cast<char>(h * 16 + l);
                        pos_ += 2;
                        break;
                    }
                    default: Fail(line_, std::string("unknown escape '\\") + e + "' in a string");
                }
            }
            if (current_.text.size() >= limits_.maxStringBytes)
                Fail(startLine, "a string is longer than " + std::to_string(limits_.maxStringBytes) + " bytes");
            current_.text.push_back(c);
        }
        CountBytes(current_.text.size(), startLine);
    }

    std::string_view text_;
    const std::string& source_;
    const TLayoutFileResolver& resolver_;
    const TLayoutLimits& limits_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::size_t totalBytes_ = 0;
    Token current_;
};

std::vector<std::uint8_t> ReadResourceFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw ELayoutError("not found in the program's resources");
    QByteArray data = file.readAll();
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

}  // namespace

const TLayoutComponent* TLayoutComponent::Child(std::string_view childName) const {
    for (const TLayoutComponent& child : children)
        if (child.name == childName) return &child;
    return nullptr;
}

TStoredLayout ParseStoredLayout(std::string_view text, const std::string& source,
                                const TLayoutFileResolver& resolver, const TLayoutLimits& limits) {
    return Parser(text, source, resolver, limits).Parse();
}

TStoredLayout LoadStoredLayoutResource(const std::string& resourcePath) {
    const QString path = QString::fromStdString(resourcePath);
    const QFileInfo info(path);
    const std::string source = info.fileName().toStdString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ELayoutError(source + ": the layout is not among the program's resources");
    const QByteArray text = file.readAll();
    const QString folder = info.path();
    return ParseStoredLayout(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())), source,
        [&folder](const std::string& name) {
            return ReadResourceFile(folder + QLatin1Char('/') + QString::fromStdString(name));
        });
}

// ---------------------------------------------------------------------------
// TLayoutBinder

void TLayoutBinder::Fail(int line, const std::string& what) const {
    throw ELayoutError(layout_.source + "(" + std::to_string(line) + "): " + owner_ + ": " + what);
}

void TLayoutBinder::UnknownProperty(const TLayoutProperty& property) const {
    Fail(property.line, "no property named '" + property.name + "'");
}

std::int32_t TLayoutBinder::Int32(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Integer)
        Fail(property.line, property.name + " must be a number");
    if (property.value.integer < std::numeric_limits<std::int32_t>::min() ||
        property.value.integer > std::numeric_limits<std::int32_t>::max())
        Fail(property.line, property.name + " is out of the 32-bit range");
    return static_cast<std::int32_t>(property.value.integer);
}

bool TLayoutBinder::Boolean(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Boolean)
        Fail(property.line, property.name + " must be true or false");
    return property.value.boolean;
}

std::string TLayoutBinder::String(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::String)
        Fail(property.line, property.name + " must be a string");
    return property.value.text;
}

std::string TLayoutBinder::Symbol(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Symbol)
        Fail(property.line, property.name + " must be a name");
    return property.value.text;
}

const std::vector<std::string>& TLayoutBinder::Set(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Set)
        Fail(property.line, property.name + " must be a set");
    return property.value.members;
}

const std::vector<std::uint8_t>& TLayoutBinder::Bytes(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Bytes)
        Fail(property.line, property.name + " must be binary data");
    return property.value.bytes;
}

const std::vector<TLayoutItem>& TLayoutBinder::Collection(const TLayoutProperty& property) const {
    if (property.value.kind != TLayoutValue::Kind::Collection)
        Fail(property.line, property.name + " must be a collection");
    return property.value.items;
}
