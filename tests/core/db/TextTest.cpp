#include "core/db/Text.h"

#include <iconv.h>

#include <gtest/gtest.h>

#include <set>

#include "core/db/Guid.h"

namespace velmorant {
namespace {

TEST(Text, TrimAndUpper) {
    EXPECT_EQ(Trim("\t\r\n  a b \x01"), "a b");
    EXPECT_EQ(Trim("  Привет  "), "Привет");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(AsciiUpper("guid-Имя"), "GUID-Имя");
}

TEST(Text, CutToken) {
    struct Case {
        const char* text;
        char separator;
        const char* token;
        const char* rest;
    };
    const Case cases[] = {
        {" a \t b\tc ", '\t', "a", "b\tc"},
        {"abc", '\t', "abc", ""},
        {"\tx", '\t', "", "x"},
        {"x\t", '\t', "x", ""},
        {"", '.', "", ""},
        {"15.03.2008", '.', "15", "03.2008"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(CutToken(text, c.separator), c.token) << c.text;
        EXPECT_EQ(text, c.rest) << c.text;
    }
}

TEST(Text, Escaping) {
    EXPECT_EQ(SqlQuoted("O'Neil"), "'O''Neil'");
    EXPECT_EQ(SqlQuoted("  padded  "), "'  padded  '");
    EXPECT_EQ(SqlQuoted("''"), "''''''");
    EXPECT_EQ(SqlQuoted(std::string("a\0b", 3)), "'ab'");
}

// The one decoder: what it takes for a character and what it leaves as a single byte.
TEST(Text, DecodesUtf8Strictly) {
    struct Case {
        const char* label;
        std::string bytes;
        std::size_t length;
        std::int32_t codePoint;
    };
    const std::vector<Case> cases = {
        {"ASCII", "A", 1, 0x41},
        {"two bytes", "\xD0\x96", 2, 0x416},
        {"three bytes", "\xE2\x82\xAC", 3, 0x20AC},
        {"four bytes", "\xF0\x9F\x98\x80", 4, 0x1F600},
        {"overlong two bytes", "\xC0\x80", 1, -1},
        {"overlong three bytes", "\xE0\x80\x80", 1, -1},
        {"surrogate", "\xED\xA0\x80", 1, -1},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", 1, -1},
        {"cut short", "\xE2\x82", 1, -1},
        {"stray continuation", "\x80", 1, -1},
        {"lead without continuation",
         "\xD0"
         "A",
         1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::int32_t cp = 0;
        EXPECT_EQ(c.length, DecodeUtf8(c.bytes, 0, cp));
        EXPECT_EQ(c.codePoint, cp);
    }
}

TEST(Text, CodePages) {
    // "Привет" in Windows-1251 and CP866.
    const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string cp866 = "\x8F\xE0\xA8\xA2\xA5\xE2";
    EXPECT_EQ(Utf8ToCp1251("Привет"), cp1251);
    EXPECT_EQ(Cp1251ToUtf8(cp1251), "Привет");
    EXPECT_EQ(Cp866ToUtf8(cp866), "Привет");
    EXPECT_EQ(Utf8ToCp1251("Ёё №"), "\xA8\xB8 \xB9");
    // Characters that Windows-1251 lacks become "?", and so do broken sequences.
    EXPECT_EQ(Utf8ToCp1251("a€b"),
              "a\x88"
              "b");
    EXPECT_EQ(Utf8ToCp1251("a漢b"), "a?b");
    EXPECT_EQ(Utf8ToCp1251("a\xFF"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?");
    EXPECT_EQ(Cp1251ToUtf8("a\x98"
                           "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp1251(std::string(10000, 'x')), std::string(10000, 'x'));
}

// The single-byte code pages are converted by a table that iconv filled: every byte, alone
// and inside text, converts as iconv itself converts it ("?" where it has no character).
TEST(Text, SingleByteCodePagesConvertAsIconvDoes) {
    for (const char* page : {"CP1251", "CP866"}) {
        SCOPED_TRACE(page);
        iconv_t cd = iconv_open("UTF-8", page);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        std::string all;
        std::string expected;
        for (int b = 1; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8];
            char* inPtr = &in;
            char* outPtr = out;
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            const bool ok =
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            all += in;
            expected += ok ? std::string(out, static_cast<size_t>(outPtr - out)) : "?";
        }
        iconv_close(cd);
        CodePageConverter converter(page, "UTF-8");
        EXPECT_EQ(converter.Convert(all), expected);
        EXPECT_EQ(converter.Convert("ab" + all + "cd"), "ab" + expected + "cd");
    }
}

// Into the single-byte code pages through the table, with iconv for what it lacks: every
// character of the Basic Multilingual Plane (and one beyond it) comes out as iconv writes
// it, or as "?" where iconv has no byte for it.
TEST(Text, IntoSingleByteCodePagesAsIconvDoes) {
    auto utf8 = [](unsigned cp) {
        std::string s;
        if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        s += static_cast<char>(0x80 | (cp & 0x3F));
        return s;
    };
    for (const char* page : {"CP1251", "CP866"}) {
        SCOPED_TRACE(page);
        iconv_t cd = iconv_open(page, "UTF-8");
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        std::string all;
        std::string expected;
        for (unsigned cp = 0x80; cp <= 0x10000; ++cp) {
            if (cp >= 0xD800 && cp < 0xE000) continue;
            std::string in = utf8(cp);
            char out[8];
            char* inPtr = in.data();
            char* outPtr = out;
            size_t inLeft = in.size();
            size_t outLeft = sizeof out;
            const bool ok =
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            all += in + "a";
            expected += (ok ? std::string(out, static_cast<size_t>(outPtr - out)) : "?") + "a";
        }
        iconv_close(cd);
        CodePageConverter converter("UTF-8", page);
        EXPECT_EQ(converter.Convert(all), expected);
    }
}

TEST(Guid, NewGuidTextIsUpperCaseWithoutBraces) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string g = NewGuidText();
        ASSERT_EQ(g.size(), 36u);
        for (size_t k = 0; k < g.size(); ++k) {
            if (k == 8 || k == 13 || k == 18 || k == 23) {
                EXPECT_EQ(g[k], '-');
            } else {
                EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(g[k])) ||
                            (g[k] >= 'A' && g[k] <= 'F'))
                    << g;
            }
        }
        EXPECT_NE(g, kNullGuid);
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(Text, OneLineText) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"ftp.example.ru", "ftp.example.ru"},
        {"a\r\nb", "a\\r\\nb"},
        {"\n", "\\n"},
        {"tab\there", "tab\\there"},
        {std::string("nul\0z", 5), "nul\\x00z"},
        {"\x1b[0m\x7f", "\\x1B[0m\\x7F"},
        {"Папка с\\обратной", "Папка с\\обратной"},  // UTF-8 and backslashes unchanged
    };
    for (const auto& c : cases) EXPECT_EQ(OneLineText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace velmorant
