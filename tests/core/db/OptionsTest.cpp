#include "core/db/Options.h"

#include <gtest/gtest.h>

#include "core/db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

TEST(GetOption, LookUpRules) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    ASSERT_TRUE(Query(
        "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('usesums', ' 1 '), ('Blank', '   '), "
        "('Twice', 'a'), ('Twice', 'b'), ('Клиент', 'x'), ('NullVal', NULL), ('Tabs', '\t\tv\t')"));
    struct Case {
        const char* name;
        const char* def;
        std::vector<std::string> expected;  // any of these
    };
    const Case cases[] = {
        {"UseSUMS", "", {"1"}},
        {"USESUMS", "0", {"1"}},
        {"Blank", "dflt", {"dflt"}},
        {"Missing", "dflt", {"dflt"}},
        {"Missing", "  padded  ", {"padded"}},
        {"Blank", "   ", {"   "}},
        {"Twice", "", {"a", "b"}},
        {"Клиент", "", {"x"}},
        {"КЛИЕНТ", "none", {"none"}},
        {"клиент", "none", {"none"}},
        {"NullVal", "dflt", {"dflt"}},
        {"Tabs", "", {"v"}},
    };
    for (const auto& c : cases) {
        const std::string value = GetOption(c.name, c.def);
        EXPECT_NE(std::find(c.expected.begin(), c.expected.end(), value), c.expected.end())
            << c.name << " gave '" << value << "'";
    }
    EXPECT_TRUE(notes.shown().empty());
}

// A name is a value, never a column: names that equal a column of MY_OPTIONS find only the
// option of that name, and a single quote in a name is just a character.
TEST(GetOption, NamesThatNameAColumnAreValues) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    ASSERT_TRUE(
        Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseSUMS', '1'), "
              "('OPT_VAL', 'named OPT_VAL'), ('X', 'OPT_VAL'), ('O''Brien', 'quoted')"));
    const std::pair<const char*, const char*> cases[] = {
        {"OPT_NAME", "none"},  {"opt_name", "none"},
        {"OPT_DESCR", "none"}, {"opt_val", "named OPT_VAL"},
        {"O'Brien", "quoted"}, {"o'brien", "quoted"},
        {"'", "none"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(GetOption(name, "none"), expected) << name;
    EXPECT_TRUE(notes.shown().empty());
}

TEST(GetOption, MissingTableShowsTheLibraryMessageAndGivesTheDefault) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    ASSERT_TRUE(Query("drop table MY_OPTIONS"));
    EXPECT_EQ(GetOption("UseSUMS", "dflt"), "dflt");
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"no such table: MY_OPTIONS"});
}

}  // namespace
}  // namespace velmorant
