// The layers hold as the folders say: nothing under core/ reaches Qt or the screens, and the
// command-line companion stays on the core alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

// An include of Qt, of the screens or of the GUI program.
const std::regex kQtOrScreens(R"(^\s*#\s*include\s*[<"](Q[A-Za-z]|qt|screens/|app/))");

// Every #include line of the C++ files below `folder` that matches `forbidden`, as
// "path:line: text".
std::vector<std::string> forbiddenIncludes(const fs::path& folder, const std::regex& forbidden) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
        std::istringstream lines(test::readFile(entry.path()));
        std::string line;
        for (int number = 1; std::getline(lines, line); ++number) {
            if (std::regex_search(line, forbidden))
                found.push_back(entry.path().string() + ":" + std::to_string(number) + ": " + line);
        }
    }
    return found;
}

TEST(Layers, CoreAndCliIncludeNeitherQtNorScreens) {
    const fs::path source = VELMORANT_SOURCE_DIR;
    for (const char* folder : {"core", "cli"}) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(fs::is_directory(source / folder));
        EXPECT_EQ(forbiddenIncludes(source / folder, kQtOrScreens), std::vector<std::string>{});
    }
}

TEST(Layers, TheCheckFindsAQtInclude) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "db");
    test::writeFile(dir.path() / "db" / "Bad.cpp", "#include <cstdio>\n  #include <QString>\n");
    EXPECT_EQ(forbiddenIncludes(dir.path(), kQtOrScreens).size(), 1u);
}

}  // namespace
}  // namespace velmorant
