#include "common/markup_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace kestrova {
namespace {

MarkupDocument Parse(std::string_view bytes, const MarkupLimits& limits = {}) {
    MarkupDocument document;
    EXPECT_TRUE(ParseDocument(bytes, document, limits));
    return document;
}

// Both readers must give the same tree; this compares what matters for the tests here.
void ExpectSameTree(const MarkupNode& a, const MarkupNode& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.text, b.text);
    ASSERT_EQ(a.attributes.size(), b.attributes.size());
    for (std::size_t i = 0; i < a.attributes.size(); ++i) {
        EXPECT_EQ(a.attributes[i].name, b.attributes[i].name);
        EXPECT_EQ(a.attributes[i].value, b.attributes[i].value);
    }
    ASSERT_EQ(a.children.size(), b.children.size());
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        ExpectSameTree(a.children[i], b.children[i]);
    }
}

void ExpectSameDocument(const MarkupDocument& a, const MarkupDocument& b) {
    ASSERT_EQ(a.roots.size(), b.roots.size());
    for (std::size_t i = 0; i < a.roots.size(); ++i) {
        ExpectSameTree(a.roots[i], b.roots[i]);
    }
}

constexpr std::string_view kDescriptor =
    "<?xml version=\"1.0\"?>\n"
    "<!-- a plug-in -->\n"
    "<Plugin>\n"
    "\t<name>  Ravelin Mod </name>\n"
    "\t<mainlibrary>libravelin.so</mainlibrary>\n"
    "\t<!-- the type -->\n"
    "\t<type id=\"0\" label=\"Mod\"/>\n"
    "\t<about>first line\n"
    "second line\n"
    "\t</about>\n"
    "</Plugin>\n";

TEST(MarkupDocumentShape, DeclarationCommentsAndRootLookup) {
    auto document = Parse(kDescriptor);
    ASSERT_EQ(document.roots.size(), 2u);
    const MarkupNode& declaration = document.roots[0];
    EXPECT_EQ(declaration.name, u"xml");
    ASSERT_EQ(declaration.attributes.size(), 1u);
    EXPECT_EQ(declaration.attributes[0].name, u"version");
    EXPECT_EQ(declaration.attributes[0].value, u"1.0");

    const MarkupNode* plugin = FindRoot(document, u"plugin");
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->name, u"Plugin");
    ASSERT_EQ(plugin->children.size(), 4u);
    EXPECT_EQ(FindChild(*plugin, u"NAME", 0)->text, u"Ravelin Mod ");
    EXPECT_EQ(FindChild(*plugin, u"mainlibrary", 0)->text, u"libravelin.so");
    const MarkupNode* type = FindChild(*plugin, u"type", 0);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(FindAttribute(*type, u"Label")->value, u"Mod");
    EXPECT_TRUE(type->children.empty());
    EXPECT_TRUE(type->text.empty());
    EXPECT_EQ(FindChild(*plugin, u"about", 0)->text, u"first line\r\nsecond line\r\n\t");
    EXPECT_EQ(FindRoot(document, u"missing"), nullptr);
    EXPECT_EQ(FindAttribute(*type, u"labe"), nullptr);
}

TEST(MarkupDocumentShape, CarriageReturnLineFeedReadsAsOneLineFeed) {
    std::string crlf;
    for (char c : kDescriptor) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    ExpectSameDocument(Parse(crlf), Parse(kDescriptor));
    // A carriage return alone is an ordinary character.
    EXPECT_EQ(Parse("<t>a\rb\n</t>\n").roots[0].text, u"a\rb\r\n");
}

TEST(MarkupDocumentShape, EmptyOrTaglessInputHasNoElements) {
    EXPECT_TRUE(Parse("").roots.empty());
    EXPECT_TRUE(Parse("just text\nno elements > here\n").roots.empty());
    EXPECT_TRUE(Parse("<").roots.empty());
}

TEST(MarkupElements, OneCharacterAfterAnElementIsConsumed) {
    // Without a break, the '<' of the next element is eaten and its characters are misread.
    auto joined = Parse("<a><b>1</b><c>2</c></a>\n");
    ASSERT_EQ(joined.roots.size(), 1u);
    const MarkupNode& a = joined.roots[0];
    ASSERT_EQ(a.children.size(), 1u);
    EXPECT_EQ(a.children[0].text, u"1");
    ASSERT_FALSE(a.attributes.empty());
    EXPECT_EQ(a.attributes[0].name[0], u'c');

    auto broken = Parse("<a><b>1</b>\n<c>2</c></a>\n");
    ASSERT_EQ(broken.roots[0].children.size(), 2u);
    EXPECT_EQ(FindChild(broken.roots[0], u"c", 0)->text, u"2");

    EXPECT_EQ(Parse("<a/><b/>").roots.size(), 1u);
}

TEST(MarkupElements, EndTagWithAnyNameClosesTheOpenElement) {
    auto document = Parse("<a>\n<b>x</wrong>\n</other>\n<c/>\n");
    ASSERT_EQ(document.roots.size(), 2u);
    EXPECT_EQ(document.roots[0].children.size(), 1u);
    EXPECT_EQ(document.roots[0].children[0].text, u"x");
    EXPECT_EQ(document.roots[1].name, u"c");
}

TEST(MarkupElements, TextRunsReplaceEachOther) {
    // Only a '>' read where the next step is expected starts content again.
    auto document = Parse("<a>first\n<b/>\n>second </a>\n");
    ASSERT_EQ(document.roots.size(), 1u);
    EXPECT_EQ(document.roots[0].text, u"second ");
}

TEST(MarkupElements, EmptyElementPairHoldsAnUnnamedChild) {
    // The end tag directly after the start is read as a child that it closes.
    auto document = Parse("<a></a>\n</b>\n");
    ASSERT_EQ(document.roots.size(), 1u);
    ASSERT_EQ(document.roots[0].children.size(), 1u);
    EXPECT_EQ(document.roots[0].children[0].name, u"");
}

TEST(MarkupElements, NameEndsOnlyAtSpaceSlashOrBracket) {
    auto document = Parse("<a\tb>x</a>\n");
    EXPECT_EQ(document.roots[0].name, u"a\tb");
}

TEST(MarkupElements, FindChildCountsOnlyMatchingNames) {
    auto document = Parse(
        "<modtemplate>\n<template>0</template>\n<other/>\n<TEMPLATE>1</TEMPLATE>\n"
        "<x/>\n<template>2</template>\n</modtemplate>\n");
    const MarkupNode* root = FindRoot(document, u"modtemplate");
    ASSERT_NE(root, nullptr);
    ASSERT_NE(FindChild(*root, u"template", 2), nullptr);
    EXPECT_EQ(FindChild(*root, u"template", 2)->text, u"2");
    EXPECT_EQ(FindChild(*root, u"template", 1)->text, u"1");
    EXPECT_EQ(FindChild(*root, u"template", 3), nullptr);
}

TEST(MarkupAttributes, ValuesAndMisreadSpacing) {
    auto plain = Parse("<a x=\"1\" y=\"\">\n</a>\n");
    ASSERT_EQ(plain.roots[0].attributes.size(), 2u);
    EXPECT_EQ(FindAttribute(plain.roots[0], u"x")->value, u"1");
    EXPECT_EQ(FindAttribute(plain.roots[0], u"Y")->value, u"");

    auto spaced = Parse("<a x = \"1\">\n</a>\n");
    ASSERT_FALSE(spaced.roots[0].attributes.empty());
    EXPECT_EQ(spaced.roots[0].attributes[0].name, u"x ");
    EXPECT_EQ(spaced.roots[0].attributes[0].value, u"");

    // Any character after '=' is taken for the opening quote.
    auto quoted = Parse("<a x='v\" >\n</a>\n");
    EXPECT_EQ(quoted.roots[0].attributes[0].value, u"v");

    // Bytes above 127 are the Latin-1 characters of the same value.
    auto latin = Parse("<a n=\"caf\xe9\">\n</a>\n");
    EXPECT_EQ(latin.roots[0].attributes[0].value, u"caf\u00e9");
}

TEST(MarkupComments, SkippedAtTopLevelAndInsideElements) {
    auto document = Parse(
        "<!DOCTYPE note>\n<!-- top -->\n<a>\n<!-- inside -->\n<b>1</b>\n<!-- x --->\n"
        "still a comment -->\n<c>2</c>\n</a>\n");
    ASSERT_EQ(document.roots.size(), 1u);
    const MarkupNode& a = document.roots[0];
    ASSERT_EQ(a.children.size(), 2u);
    EXPECT_EQ(a.children[0].name, u"b");
    EXPECT_EQ(a.children[1].name, u"c");
    EXPECT_TRUE(a.text.empty());
    // An unterminated comment ends the input.
    EXPECT_TRUE(Parse("<!-- open\n<a/>\n").roots.empty());
}

TEST(MarkupTruncatedInput, KeepsWhatWasRead) {
    auto document = Parse("<a k=\"v\">\n<b>partial text");
    ASSERT_EQ(document.roots.size(), 1u);
    EXPECT_EQ(document.roots[0].attributes[0].value, u"v");
    ASSERT_EQ(document.roots[0].children.size(), 1u);
    EXPECT_EQ(document.roots[0].children[0].text, u"partial text");
    EXPECT_EQ(Parse("<a k=\"unterminated").roots[0].attributes[0].value, u"unterminated");
}

TEST(MarkupLimitsTest, FieldsAreCutToTheirCapacity) {
    std::string longName(300, 'n');
    std::string input = "<" + longName + " " + longName + "=\"" + std::string(600, 'v') + "\">" +
                        std::string(3000, 't') + "</x>\n";
    auto kestrova = Parse(input, kKestrovaMarkupLimits);
    const MarkupNode& node = kestrova.roots[0];
    EXPECT_EQ(node.name, std::u16string(255, u'n'));
    EXPECT_EQ(node.attributes[0].name.size(), 255u);
    EXPECT_EQ(node.attributes[0].value, std::u16string(511, u'v'));
    EXPECT_EQ(node.text, std::u16string(2047, u't'));

    auto ravelin = Parse(input, kRavelinMarkupLimits);
    EXPECT_EQ(ravelin.roots[0].name.size(), 127u);
    EXPECT_EQ(ravelin.roots[0].attributes[0].name.size(), 127u);

    // A line break that no longer fits whole is dropped rather than split.
    auto edge = Parse("<t>" + std::string(2046, 'e') + "\nz</t>\n");
    EXPECT_EQ(edge.roots[0].text, std::u16string(2046, u'e') + u"z");
}

TEST(MarkupLimitsTest, DeepNestingIsReadButNotStoredBeyondTheDepth) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>\n";
    }
    auto document = Parse(deep);
    ASSERT_EQ(document.roots.size(), 1u);
    std::size_t depth = 1;
    for (const MarkupNode* node = &document.roots[0]; !node->children.empty();
         node = &node->children[0]) {
        ++depth;
    }
    EXPECT_EQ(depth, MarkupLimits{}.maxDepth);

    // The characters of dropped elements are still consumed, so the tree around them is intact.
    auto shallow = Parse("<a>\n<b>\n<c>1</c>\n</b>\n<d>2</d>\n</a>\n<e/>\n", {256, 2});
    ASSERT_EQ(shallow.roots.size(), 2u);
    ASSERT_EQ(shallow.roots[0].children.size(), 2u);
    EXPECT_TRUE(shallow.roots[0].children[0].children.empty());
    EXPECT_EQ(shallow.roots[0].children[1].text, u"2");
}

TEST(MarkupStreams, NonSeekableStreamReadsLikeBytes) {
    // Stepping back over "<" and a line feed that came from CR LF must re-read one line feed.
    const std::string input = std::string(kDescriptor) + "<z a=\"1\"<\r\nb>\r\n</z>\r\n";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        std::size_t written = 0;
        while (written < input.size()) {
            auto n = ::write(fds[1], input.data() + written, input.size() - written);
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
    });
    std::FILE* stream = ::fdopen(fds[0], "rb");
    ASSERT_NE(stream, nullptr);
    MarkupDocument fromStream;
    EXPECT_TRUE(ParseDocument(stream, fromStream));
    writer.join();
    std::fclose(stream);

    auto fromBytes = Parse(input);
    ExpectSameDocument(fromStream, fromBytes);
    const MarkupNode* z = FindRoot(fromBytes, u"z");
    ASSERT_NE(z, nullptr);
    ASSERT_EQ(z->children.size(), 1u);
    EXPECT_EQ(z->children[0].name, u"\nb");
}

// Real game files are binary, not markup: a good test that arbitrary bytes yield a bounded tree.
void ExpectWithinCapacities(const MarkupNode& node, std::size_t depth) {
    ASSERT_LE(depth, MarkupLimits{}.maxDepth);
    EXPECT_LT(node.name.size(), MarkupLimits{}.nameCapacity);
    EXPECT_LT(node.text.size(), kMarkupTextCapacity);
    for (const auto& attribute : node.attributes) {
        EXPECT_LT(attribute.value.size(), kMarkupValueCapacity);
    }
    for (const auto& child : node.children) {
        ExpectWithinCapacities(child, depth + 1);
    }
}

TEST(MarkupRealData, BinaryGameFilesGiveBoundedTrees) {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    if (folder == nullptr || !std::filesystem::is_directory(folder)) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md") {
            continue;
        }
        std::FILE* stream = std::fopen(entry.path().c_str(), "rb");
        ASSERT_NE(stream, nullptr) << entry.path();
        MarkupDocument document;
        ParseDocument(stream, document);
        std::fclose(stream);
        for (const auto& root : document.roots) {
            ExpectWithinCapacities(root, 1);
        }
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(MarkupFree, ReleasesChildrenAndAttributesButKeepsNameAndText) {
    auto document = Parse("<a k=\"v\">\n<b/>\n</a>\n");
    MarkupNode& a = document.roots[0];
    a.text = u"kept";
    EXPECT_TRUE(FreeNode(a));
    EXPECT_TRUE(a.children.empty());
    EXPECT_TRUE(a.attributes.empty());
    EXPECT_EQ(a.name, u"a");
    EXPECT_EQ(a.text, u"kept");
    FreeDocument(document);
    EXPECT_TRUE(document.roots.empty());
}

}  // namespace
}  // namespace kestrova
