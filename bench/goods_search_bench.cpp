// The goods picker's search over 100 000 goods, letter by letter as the agent types: each
// typed letter filters the whole catalogue by name, letter case ignored (Qt's Unicode case
// folding). The reference is a bare scan of the same names for the same texts, case
// respected and nothing folded, in the same run. The figures that matter are the ratio (goal:
// at most 2.0) and the time of one keystroke (goal: under 30 ms).

#include <string.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/documents/Catalogue.h"
#include "core/documents/GoodsSearch.h"
#include "screens/widgets/CaseFolding.h"

using namespace velmorant;

namespace {

constexpr int kFolders = 2000;
constexpr int kGoods = 100000;
constexpr int kRounds = 7;

// The same catalogue on every run.
bench::Random g_random;
std::uint32_t NextRandom() { return g_random.next(); }

template <std::size_t N>
const char* Pick(const char* const (&list)[N]) {
    return list[NextRandom() % N];
}

// Names as an office's catalogue holds them: a product, a kind, a maker and a pack, some of
// them written in capitals.
std::string GoodsName() {
    static const char* const kProducts[] = {
        "Молоко",   "Кефир",    "Сметана", "Творог", "Сыр",     "Масло",   "Сок",     "Нектар",
        "Вода",     "Чай",      "Кофе",    "Какао",  "Печенье", "Пряники", "Конфеты", "Шоколад",
        "Зефир",    "Макароны", "Рис",     "Гречка", "Мука",    "Сахар",   "Соль",    "Горошек",
        "Кукуруза", "Фасоль",   "Тушёнка", "Шпроты", "Сайра",   "Порошок", "Гель",    "Мыло",
        "Juice",    "Milk",     "Cola",    "Tonic"};
    static const char* const kKinds[] = {"яблочный", "отборное",  "молочный",   "горький",
                                         "зелёный",  "чёрный",    "3,2%",       "2,5%",
                                         "классика", "с орехами", "без сахара", "light"};
    static const char* const kMakers[] = {"«Заречье»",  "«Волжский»", "«Тверской»", "«Северный»",
                                          "«Добродел»", "«Отборный»", "Fresh Co",   "Nord"};
    static const char* const kPacks[] = {"200 г", "400 г", "500 г", "1 кг", "0,5 л", "1 л"};
    std::string name = std::string(Pick(kProducts)) + " " + Pick(kKinds) + " " + Pick(kMakers) +
                       ", " + Pick(kPacks);
    if (NextRandom() % 7 == 0) {
        // Some offices write names in capitals.
        static const char* const kCapitals[] = {"МОЛОКО ОТБОРНОЕ", "КЕФИР 1%",
                                                "СОК ТОМАТНЫЙ",    "ЧАЙ ЧЁРНЫЙ",
                                                "ШОКОЛАД ГОРЬКИЙ", "MILK SHAKE"};
        name = std::string(Pick(kCapitals)) + " " + Pick(kMakers) + ", " + Pick(kPacks);
    }
    return name;
}

void FillCatalogue(Catalogue& c) {
    char uname[16];
    for (int id = 1; id <= kFolders; ++id) {
        std::snprintf(uname, sizeof uname, "%08X", NextRandom());
        const int root = id > 20 ? 1 + static_cast<int>(NextRandom() % (id - 1)) : 0;
        c.AddRow(std::to_string(id), std::to_string(root), "1", "Папка " + std::to_string(id),
                 uname, "F" + std::to_string(id), "0");
    }
    std::vector<std::pair<std::string, std::string>> goods;
    for (int n = 0; n < kGoods; ++n) {
        std::snprintf(uname, sizeof uname, "%08X", NextRandom());
        goods.emplace_back(uname, GoodsName());
    }
    // Catalogue order is the order of UNAME, as the picker's SELECT gives it.
    std::sort(goods.begin(), goods.end());
    for (int n = 0; n < kGoods; ++n) {
        const int root = 1 + static_cast<int>(NextRandom() % kFolders);
        c.AddRow(std::to_string(kFolders + 1 + n), std::to_string(root), "0",
                 goods[static_cast<std::size_t>(n)].second,
                 goods[static_cast<std::size_t>(n)].first, "G" + std::to_string(n), "12.50");
    }
    c.LinkParents();
    c.BuildTree();
}

// Every text the agent's field holds, letter by letter, for a few searches; "" between them.
std::vector<std::string> Keystrokes() {
    const char* const words[] = {"молоко", "СОК ЯБ", "шоколад г", "чай",
                                 "Кефир",  "milk",   "заречье",   "тушёнка"};
    std::vector<std::string> texts;
    for (const char* w : words) {
        const std::u32string letters = [&] {
            std::u32string out;
            const std::string s = w;
            for (std::size_t i = 0; i < s.size();) {
                const unsigned char c = static_cast<unsigned char>(s[i]);
                const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
                out.push_back(static_cast<char32_t>(i));
                i += len;
            }
            out.push_back(static_cast<char32_t>(s.size()));
            return out;
        }();
        for (std::size_t k = 1; k < letters.size(); ++k) {
            texts.push_back(std::string(w).substr(0, letters[k]));
        }
        texts.push_back("");
    }
    return texts;
}

// The names joined in one text, searched as the goods search does, but unfolded.
void JoinedScan(const std::string& joined, const std::vector<std::uint32_t>& starts,
                const std::string& t, std::vector<int>& hits) {
    const char* begin = joined.data();
    const char* end = begin + joined.size();
    const char* p = begin + t.size() - 1;
    std::size_t name = 0;
    while (p < end) {
        p = static_cast<const char*>(memchr(p, t.back(), static_cast<std::size_t>(end - p)));
        if (!p) break;
        const char* at = p - (t.size() - 1);
        if (memcmp(at, t.data(), t.size() - 1) != 0) {
            ++p;
            continue;
        }
        const auto offset = static_cast<std::uint32_t>(at - begin);
        while (starts[name + 1] <= offset) ++name;
        hits.push_back(static_cast<int>(name));
        if (starts[name + 1] + t.size() - 1 >= joined.size()) break;
        p = begin + starts[name + 1] + (t.size() - 1);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    Catalogue catalogue;
    FillCatalogue(catalogue);
    std::vector<std::string_view> names;  // the same names, for the bare scan
    for (const TTreeData& r : catalogue.Records()) {
        if (!r.isFolder()) names.push_back(r.ANAME);
    }
    std::string joined;  // the names as one text, each ended by a line feed
    std::vector<std::uint32_t> starts;
    for (std::string_view n : names) {
        starts.push_back(static_cast<std::uint32_t>(joined.size()));
        joined.append(n.data(), n.size());
        joined += '\n';
    }
    starts.push_back(static_cast<std::uint32_t>(joined.size()));
    const std::vector<std::string> texts = Keystrokes();
    std::size_t letters = 0;
    for (const std::string& t : texts) letters += t.empty() ? 0 : 1;
    std::printf("catalogue: %zu goods in %d folders; %zu keystrokes in %d searches\n", names.size(),
                kFolders, letters, 8);

    std::vector<double> searchTotals, bareTotals, findTotals, memmemTotals, joinedTotals, builds,
        worst;
    std::vector<double> searchCpu, buildCpu, worstWall;
    std::size_t found = 0, bareFound = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Bare scans: every name for the same text, case respected, nothing folded: name by
        // name with the standard library's search and with the C library's, and the names
        // joined in one text as the search holds them, the last byte looked for with memchr.
        // The fastest is the reference.
        double bareBest = 0;
        for (int kind = 0; kind < 3; ++kind) {
            auto t0 = std::chrono::steady_clock::now();
            std::vector<int> hits;
            bareFound = 0;
            for (const std::string& t : texts) {
                hits.clear();
                if (t.empty()) continue;
                if (kind == 2) {
                    JoinedScan(joined, starts, t, hits);
                } else {
                    for (std::size_t i = 0; i < names.size(); ++i) {
                        const bool in = kind == 0 ? names[i].find(t) != std::string_view::npos
                                                  : memmem(names[i].data(), names[i].size(),
                                                           t.data(), t.size()) != nullptr;
                        if (in) hits.push_back(static_cast<int>(i));
                    }
                }
                bareFound += hits.size();
            }
            const double took = bench::seconds(t0);
            (kind == 0 ? findTotals : kind == 1 ? memmemTotals : joinedTotals).push_back(took);
            bareBest = kind == 0 ? took : std::min(bareBest, took);
        }
        bareTotals.push_back(bareBest);

        // The picker's search: the folded names are built once per opening, as it is shown.
        GoodsSearch search(QtCaseFolder());
        search.Reset(catalogue);
        auto b0 = std::chrono::steady_clock::now();
        const double c0 = bench::ownCpu();
        search.Prepare();
        builds.push_back(bench::seconds(b0));
        buildCpu.push_back(bench::ownCpu() - c0);
        double slowest = 0, slowestWall = 0;
        found = 0;
        auto t1 = std::chrono::steady_clock::now();
        const double c1 = bench::ownCpu();
        for (const std::string& t : texts) {
            const double k0 = bench::ownCpu();
            const auto w0 = std::chrono::steady_clock::now();
            found += search.Find(t).size();
            slowest = std::max(slowest, bench::ownCpu() - k0);
            slowestWall = std::max(slowestWall, bench::seconds(w0));
        }
        searchTotals.push_back(bench::seconds(t1));
        searchCpu.push_back(bench::ownCpu() - c1);
        worst.push_back(slowest);
        worstWall.push_back(slowestWall);
    }
    const double search = Median(searchTotals);
    const double bare = Median(bareTotals);
    const double perKey = search / static_cast<double>(letters) * 1000;
    const auto perLetter = [&](double total) {
        return total / static_cast<double>(letters) * 1000;
    };
    std::printf("bare scan, string_view::find per name: %.2f ms per keystroke\n",
                perLetter(Median(findTotals)));
    std::printf("bare scan, memmem per name: %.2f ms per keystroke\n",
                perLetter(Median(memmemTotals)));
    std::printf("bare scan, names joined, memchr of the last byte: %.2f ms per keystroke\n",
                perLetter(Median(joinedTotals)));
    std::printf(
        "bare scan, the faster each round: %.2f ms per keystroke (%zu hits, case respected)\n",
        perLetter(bare), bareFound);
    std::printf(
        "goods search, case folded: %.2f ms per keystroke, the slowest %.2f ms (%zu hits)\n",
        perKey, Median(worstWall) * 1000, found);
    std::printf("  processor time: %.2f ms per keystroke, the slowest keystroke %.2f ms\n",
                perLetter(Median(searchCpu)), Median(worst) * 1000);
    std::printf(
        "folding the %zu names, once per opening when the picker is shown: %.1f ms "
        "(processor time %.1f ms)\n",
        names.size(), Median(builds) * 1000, Median(buildCpu) * 1000);
    std::printf("ratio search/bare scan: %.2f (goal <= 2.0); per keystroke %.2f ms (goal < 30)\n",
                search / bare, perKey);
    std::printf(
        "RESULT goods-search-per-letter-vs-bare-scan %.2f 2.0 %.1f ms a keystroke, the "
        "slowest %.1f ms\n",
        search / bare, perKey, Median(worstWall) * 1000);
    return 0;
}
