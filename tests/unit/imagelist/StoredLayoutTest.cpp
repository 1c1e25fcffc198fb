// The stored layout reader: values, structure, limits and its messages.
#include "toolkit/StoredLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TLayoutFileResolver FilesOf(std::map<std::string, std::string> files) {
    return [files = std::move(files)](const std::string& path) {
        auto found = files.find(path);
        if (found == files.end()) throw ELayoutError("no such file");
        return Bytes(found->second);
    };
}

TStoredLayout Parse(const std::string& body, const TLayoutFileResolver& resolver = nullptr,
                    const TLayoutLimits& limits = {}) {
    return ParseStoredLayout("layout 1\nform Form1 : TForm1\n" + body + "end\n", "test.layout", resolver,
                             limits);
}

std::string ErrorOf(const std::string& text, const TLayoutLimits& limits = {}) {
    try {
        ParseStoredLayout(text, "test.layout", FilesOf({{"a.bin", "abc"}}), limits);
    } catch (const ELayoutError& error) {
        return error.Message();
    }
    return "(no error)";
}

}  // namespace

TEST(StoredLayout, ReadsEveryKindOfValue) {
    const TStoredLayout layout = Parse(
        "  Caption = \"In\\\"stall\\x21\"  # a comment\n"
        "  component DXDraw1 : TDXDraw\n"
        "    Width = 571\n"
        "    Left = -3\n"
        "    Mask = 0xFF\n"
        "    AutoSize = true\n"
        "    Options = [doWaitVBlank, do3D]\n"
        "    Empty = []\n"
        "    OnInitialize = DXDraw1Initialize\n"
        "    Raw = hex \"00 ff  10\"\n"
        "  end\n"
        "  component DXImageList1 : TDXImageList\n"
        "    Items = (\n"
        "      item\n"
        "        Name = \"bg\"\n"
        "        Picture.Data = graphic \"TDIB\" file \"pictures/bg.dib\"\n"
        "      end\n"
        "      item\n"
        "      end\n"
        "    )\n"
        "  end\n",
        FilesOf({{"pictures/bg.dib", "PIXELS"}}));
    const TLayoutComponent& form = layout.root;
    EXPECT_EQ(form.name, "Form1");
    EXPECT_EQ(form.properties.at(0).value.text, "In\"stall!");
    const TLayoutComponent* dx = form.Child("DXDraw1");
    ASSERT_NE(dx, nullptr);
    EXPECT_EQ(dx->className, "TDXDraw");
    EXPECT_EQ(dx->properties.at(0).value.integer, 571);
    EXPECT_EQ(dx->properties.at(1).value.integer, -3);
    EXPECT_EQ(dx->properties.at(2).value.integer, 255);
    EXPECT_TRUE(dx->properties.at(3).value.boolean);
    EXPECT_EQ(dx->properties.at(4).value.members, (std::vector<std::string>{"doWaitVBlank", "do3D"}));
    EXPECT_TRUE(dx->properties.at(5).value.members.empty());
    EXPECT_EQ(dx->properties.at(6).value.kind, TLayoutValue::Kind::Symbol);
    EXPECT_EQ(dx->properties.at(7).value.bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
    EXPECT_EQ(dx->properties.at(7).line, 12);

    const auto& items = form.Child("DXImageList1")->properties.at(0).value.items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].properties.at(1).name, "Picture.Data");
    EXPECT_EQ(items[0].properties.at(1).value.bytes, Bytes("\x04TDIBPIXELS"));
    EXPECT_TRUE(items[1].properties.empty());
}

TEST(StoredLayout, NumbersAtTheEdgesOfTheRange) {
    EXPECT_EQ(Parse("A = 9223372036854775807\n").root.properties[0].value.integer, INT64_MAX);
    EXPECT_EQ(Parse("A = -9223372036854775808\n").root.properties[0].value.integer, INT64_MIN);
    EXPECT_EQ(Parse("A = 0x7FFFFFFFFFFFFFFF\n").root.properties[0].value.integer, INT64_MAX);
    EXPECT_NE(ErrorOf("layout 1\nform F : T\nA = 9223372036854775808\nend").find("out of range"),
              std::string::npos);
}

TEST(StoredLayout, MalformedLayoutsNameTheLineAndTheFault) {
    struct Row {
        std::string text;
        const char* message;
    };
    const Row rows[] = {
        {"", "test.layout(1): the layout must start with 'layout <version>', found the end of the layout"},
        {"layout 2\n", "test.layout(1): unsupported layout version (this reader knows version 1)"},
        {"layout 1\nform F : T\n", "test.layout(3): the layout ends inside 'F' (missing 'end')"},
        {"layout 1\nform F : T\n  A 1\nend", "test.layout(3): expected '=' after the property name 'A', found the number 1"},
        {"layout 1\nform F : T\n  A = 1\n  A = 2\nend", "test.layout(4): 'A' is stored twice for 'F'"},
        {"layout 1\nform F : T\n  A = \"open\nend", "test.layout(3): a string runs past the end of its line"},
        {"layout 1\nform F : T\n  A = \"\\q\"\nend", "test.layout(3): unknown escape '\\q' in a string"},
        {"layout 1\nform F : T\n  A = hex \"abc\"\nend", "test.layout(3): 'hex' data has an odd number of digits"},
        {"layout 1\nform F : T\n  A = [x, x]\nend", "test.layout(3): 'x' is twice in the set"},
        {"layout 1\nform F : T\n  A = [x y]\nend", "test.layout(3): expected ',' or ']' in the set, found 'y'"},
        {"layout 1\nform F : T\n  A = (\n item\n B = ()\n end\n )\nend", "test.layout(5): an item cannot hold a collection"},
        {"layout 1\nform F : T\n  A = 12ab\nend", "test.layout(3): a number runs into a name (missing blank?)"},
        {"layout 1\nform F : T\n  A = @\nend", "test.layout(3): unexpected character 0x40"},
        {"layout 1\nform F : T\nend\nextra", "test.layout(4): unexpected 'extra' after the form's 'end'"},
        {"layout 1\nform F : T\n  A = file \"../secret\"\nend",
         "test.layout(3): '../secret' is not a plain relative file name inside the layout's folder"},
        {"layout 1\nform F : T\n  A = file \"/etc/passwd\"\nend",
         "test.layout(3): '/etc/passwd' is not a plain relative file name inside the layout's folder"},
        {"layout 1\nform F : T\n  A = file \"missing.bin\"\nend", "test.layout(3): cannot read 'missing.bin': no such file"},
        {"layout 1\nform F : T\n  component C : X\n  end\n  component C : Y\n  end\nend",
         "test.layout(5): a second component named 'C' in 'F'"},
        {"layout 1\nform F : T\n  A = graphic \"\" file \"a.bin\"\nend",
         "test.layout(3): a picture class name must have 1 to 63 characters"},
        {std::string("layout 1\nform F : T\n  A = \"\0\"\nend", 33), "test.layout(1): the layout contains a zero byte"},
    };
    for (const Row& row : rows) EXPECT_EQ(ErrorOf(row.text), row.message) << row.text;
}

TEST(StoredLayout, LimitsCapWhatALayoutMayAskFor) {
    TLayoutLimits limits;
    limits.maxDepth = 2;
    EXPECT_EQ(ErrorOf("layout 1\nform F : T\ncomponent A : T\ncomponent B : T\nend\nend\nend", limits),
              "test.layout(4): components are nested more than 2 deep");
    limits = {};
    limits.maxTotalBytes = 13;  // file names count too: 5 + 3 + 5 + 3
    EXPECT_EQ(ErrorOf("layout 1\nform F : T\n  A = file \"a.bin\"\n  B = file \"a.bin\"\nend", limits),
              "test.layout(4): the layout's data is larger than 13 bytes");
    limits = {};
    limits.maxItems = 1;
    EXPECT_EQ(ErrorOf("layout 1\nform F : T\n  A = (item end item end)\nend", limits),
              "test.layout(3): a collection has more than 1 items");
    limits = {};
    limits.maxTextBytes = 10;
    EXPECT_EQ(ErrorOf("layout 1\nform F : T\nend", limits), "test.layout(1): the layout is larger than 10 bytes");
}

TEST(StoredLayout, BinderChecksKindsAndRanges) {
    const TStoredLayout layout = Parse("  A = 4294967296\n  B = \"text\"\n  C = yes\n");
    const TLayoutBinder binder(layout, "Form1");
    const auto& p = layout.root.properties;
    EXPECT_THROW(binder.Int32(p[0]), ELayoutError);
    EXPECT_EQ(binder.String(p[1]), "text");
    try {
        binder.Boolean(p[2]);
        FAIL();
    } catch (const ELayoutError& error) {
        EXPECT_EQ(error.Message(), "test.layout(5): Form1: C must be true or false");
    }
}
