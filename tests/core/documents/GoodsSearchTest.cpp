// The name searches of the pickers with the folding the screens give them (Qt's Unicode case
// folding), on catalogues read from a real base.sdb.
#include "core/documents/GoodsSearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/NameSearch.h"
#include "screens/widgets/CaseFolding.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

std::vector<std::string> NamesOf(const Catalogue& c, const std::vector<int>& records) {
    std::vector<std::string> names;
    for (int r : records) names.push_back(c.Records()[static_cast<std::size_t>(r)].ANAME);
    return names;
}

TEST(FoldCase, FoldsEveryAlphabetTheAgentMeets) {
    struct Case {
        const char* text;
        const char* folded;
    };
    const Case cases[] = {
        {"МОЛОКО Молоко", "молоко молоко"},
        {"Ёлка ЁЖ", "ёлка ёж"},  // ё stays ё: it is a letter of its own
        {"MILK Milk", "milk milk"},
        {"STRAẞE", "straße"},        // the capital sharp s as well
        {"ΟΔΌΣ οδός", "οδόσ οδόσ"},  // final sigma folds to sigma
        {"a\nB\nc", "a\nb\nc"},      // line feeds stay
        {"3,2% «Заречье»", "3,2% «заречье»"},
    };
    for (const Case& c : cases) EXPECT_EQ(FoldCase(c.text), c.folded) << c.text;
}

TEST(FoldedNames, ContainsAndStartsWithIgnoreLetterCase) {
    const std::vector<std::string_view> names = {"ООО Ромашка", "Иванов И.И.", "MILK Bar", ""};
    const FoldedNames folded(names, QtCaseFolder());
    ASSERT_EQ(folded.size(), 4u);
    EXPECT_EQ(folded.at(0), "ооо ромашка");
    EXPECT_TRUE(folded.Contains(0, FoldCase("РОМАШ")));
    EXPECT_TRUE(folded.StartsWith(1, FoldCase("иВ")));
    EXPECT_FALSE(folded.StartsWith(1, FoldCase("И.И")));
    EXPECT_TRUE(folded.Contains(2, FoldCase("milk b")));
    EXPECT_EQ(folded.at(3), "");
}

TEST(FoldedNames, TheFolderIsAskedOncePerCharacter) {
    // Case folding goes character by character, so every distinct character is folded once,
    // however many names hold it; what the folder answers never splits a name.
    std::vector<std::string> asked;
    const CaseFolder counting = [&](std::string_view text) {
        asked.emplace_back(text);
        return text == "Б" ? std::string("б\n") : FoldCase(text);
    };
    const FoldedNames folded({"ААА", "БАБА\nА", "", "Сок"}, counting);
    ASSERT_EQ(folded.size(), 4u);
    EXPECT_EQ(folded.at(0), "ааа");
    EXPECT_EQ(folded.at(1), "б аб а а");  // the folder's line feed and the name's: blanks
    EXPECT_EQ(folded.at(2), "");
    EXPECT_EQ(folded.at(3), "сок");
    EXPECT_EQ(asked, (std::vector<std::string>{"А", "Б", "С", "о", "к"}));
    // Bytes that are no UTF-8 are kept as they are.
    const FoldedNames broken({"A\xFF\xD0Z"}, counting);
    EXPECT_EQ(broken.at(0), "a\xFF\xD0z");
}

TEST(FindFirstByName, ABeginningWinsOverAPartInTheMiddle) {
    const std::vector<std::string_view> names = {"ИП Запретов", "Иванов И.И.", "ООО Ромашка"};
    const FoldedNames folded(names, QtCaseFolder());
    struct Case {
        const char* typed;
        int row;
    };
    const Case cases[] = {
        {"", 0},      {"и", 0},   {"иВ", 1},     {"о", 2},  // "о" is inside the first two
        {"ромаш", 2}, {"И.И", 1}, {"ЗАПРЕТ", 0}, {"щ", -1}, {"ооо рx", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindFirstByName(folded, FoldCase(c.typed)), c.row) << c.typed;
    }
}

class GoodsSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto q = TQueryResult::Create(DatabasePath(), true);
        ASSERT_TRUE(q);
        ASSERT_TRUE(q->Exec(
            "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) values "
            "('F-MILK', 1, 0, 1, 'Молочные продукты', '1', 0),"
            "('F-SALE', 2, 0, 1, 'Акция', '2', 0),"
            "('F-MOL', 3, 0, 1, 'Молоко и сливки', '3', 0),"  // a folder is never found
            "('G-3', 10, 1, 0, 'Молоко 3,2%', 'c', 60),"
            "('G-1', 11, 2, 0, 'МОЛОКО ОТБОРНОЕ', 'a', 70),"
            "('G-2', 12, 1, 0, 'Кефир', 'b', 50),"
            "('G-4', 13, 2, 0, 'Шоколад молочный', 'd', 90),"
            "('G-5', 14, 0, 0, 'Milk shake', 'e', 10),"
            "('G-6', 15, 9, 0, 'MILK powder', 'f', 20)"));  // in no folder: found as well
        ASSERT_TRUE(catalogue.Load(""));
        search.Reset(catalogue);
    }

    test::TempProgramFolder folder;
    Catalogue catalogue;
    GoodsSearch search{QtCaseFolder()};
};

TEST_F(GoodsSearchTest, FindsTheGoodsOfTheWholeCatalogueInUnameOrder) {
    struct Case {
        const char* typed;
        std::vector<std::string> found;
    };
    const std::vector<Case> cases = {
        {"мол", {"МОЛОКО ОТБОРНОЕ", "Молоко 3,2%", "Шоколад молочный"}},
        {"МОЛОКО", {"МОЛОКО ОТБОРНОЕ", "Молоко 3,2%"}},
        {"milk", {"Milk shake", "MILK powder"}},
        {"3,2%", {"Молоко 3,2%"}},
        {"o", {"MILK powder"}},  // a Latin "o" is no Cyrillic "о"
        {"сливки", {}},          // only the folder has it
        {"", {}},
        {"   ", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NamesOf(catalogue, search.Find(c.typed)), c.found) << c.typed;
    }
}

TEST_F(GoodsSearchTest, TypingLetterByLetterFindsWhatAFreshSearchFinds) {
    // Letters typed, taken back and replaced: each answer must equal a fresh search's.
    const std::vector<std::string> typed = {
        "м", "мо", "мол", "моло", "молок", "моло", "мо", "мол", "молоч", "л", "ло", "лок",
        "",  "К",  "Ке",  "Кеф",  "x",     "xx",   "м",  "мол", "МОЛ",   "M", "MI", "MILK "};
    for (const std::string& text : typed) {
        GoodsSearch fresh(QtCaseFolder());
        fresh.Reset(catalogue);
        EXPECT_EQ(search.Find(text), fresh.Find(text)) << text;
    }
    // A released catalogue is searched afresh after Reset.
    catalogue.Release();
    search.Reset(catalogue);
    EXPECT_TRUE(search.Find("мол").empty());
}

}  // namespace
}  // namespace velmorant
