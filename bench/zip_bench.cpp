// Packing and unpacking a 64 MiB mixed text file, against Info-ZIP's zip -9 and unzip on the
// same file in the same run. Prints the best of three runs of each and the ratios (ours over
// the reference; at or below 1.1 is the goal).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "archive/PackFile.h"
#include "archive/Unzipper.h"
#include "db/Database.h"

namespace {

using Clock = std::chrono::steady_clock;

// Text like the exchange files: words, GUIDs, numbers, tabs and line ends.
void writeMixedText(const std::filesystem::path& path, size_t size) {
    static const char* const kWords[] = {"order",
                                         "client",
                                         "goods",
                                         "price",
                                         "quantity",
                                         "Заявка",
                                         "склад",
                                         "отгрузка",
                                         "INSERT",
                                         "INTO",
                                         "SPR_GOODS",
                                         "VALUES",
                                         "sum",
                                         "date",
                                         "note",
                                         "агент",
                                         "продаж",
                                         "2024-06-01",
                                         "1F0C2A7E-55B1-4C1D-9E0A-3B7D2C41A9F0",
                                         "total",
                                         "pieces",
                                         "box"};
    std::string out;
    out.reserve(size + 64);
    uint32_t state = 2463534242u;
    while (out.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        switch (state % 8) {
            case 0:
                out += std::to_string(state % 100000);
                break;
            case 1:
                out += "\r\n";
                break;
            default:
                out += kWords[(state >> 8) % (sizeof kWords / sizeof kWords[0])];
                break;
        }
        out += (state >> 20) % 5 == 0 ? '\t' : ' ';
    }
    out.resize(size);
    std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(size));
}

double bestSeconds(int runs, const std::function<bool()>& run) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!run()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

uint64_t sizeOf(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::file_size(p, ec);
}

}  // namespace

int main() {
    std::string templ = (std::filesystem::temp_directory_path() / "zipbench-XXXXXX").string();
    if (!mkdtemp(templ.data())) return 1;
    const std::filesystem::path dir = templ;
    velmorant::SetProgramFolder(dir.string() + "/");
    const auto source = dir / "PDATo1C.xml";
    const size_t size = 64u << 20;
    writeMixedText(source, size);
    const auto ours = dir / "ours.zip";
    const auto reference = dir / "reference.zip";
    const std::string q = "'";
    const int runs = 3;

    const double packOurs =
        bestSeconds(runs, [&] { return velmorant::PackFile(source.string(), ours.string()); });
    const double packReference = bestSeconds(runs, [&] {
        std::filesystem::remove(reference);
        const std::string cmd =
            "zip -q -9 -j " + q + reference.string() + q + " " + q + source.string() + q;
        return std::system(cmd.c_str()) == 0;
    });
    const double unpackOurs = bestSeconds(runs, [&] {
        velmorant::TUnzipper unzipper;
        return velmorant::UnpackFiles(unzipper, reference.string(), (dir / "a").string(),
                                      "PDATo1C.xml") == 1;
    });
    const double unpackReference = bestSeconds(runs, [&] {
        const std::string cmd =
            "unzip -q -o " + q + reference.string() + q + " -d " + q + (dir / "b").string() + q;
        return std::system(cmd.c_str()) == 0;
    });
    const bool same =
        sizeOf(dir / "a" / "PDATo1C.xml") == size && sizeOf(dir / "b" / "PDATo1C.xml") == size;

    std::printf("zip_bench: 64 MiB mixed text, best of %d runs\n", runs);
    std::printf(
        "  pack    PackFile %.3f s  zip -9 %.3f s  ratio %.3f  (archives %llu / %llu bytes)\n",
        packOurs, packReference, packOurs / packReference,
        static_cast<unsigned long long>(sizeOf(ours)),
        static_cast<unsigned long long>(sizeOf(reference)));
    std::printf("  unpack  UnpackFiles %.3f s  unzip %.3f s  ratio %.3f  (same archive)\n",
                unpackOurs, unpackReference, unpackOurs / unpackReference);
    std::printf("  outputs complete: %s\n", same ? "yes" : "NO");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return same ? 0 : 1;
}
