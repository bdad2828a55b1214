// Packing and unpacking a 64 MiB mixed text file, against Info-ZIP's zip -9 and unzip on the
// same file in the same run. Runs alternate between ours and the reference; prints the best of
// three runs of each, as wall-clock time and as CPU time (user + system; ours from this
// process, the reference's from the child), and the ratios ours / reference (goal: at or
// below 1.1). On a machine shared with other work the CPU ratio is the steadier figure.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/archive/PackFile.h"
#include "core/archive/Unzipper.h"
#include "core/db/Clock.h"
#include "tests/support/MixedText.h"

namespace {

using Clock = std::chrono::steady_clock;

// Text like the exchange files: words, GUIDs, numbers, tabs and line ends.
void writeMixedText(const std::filesystem::path& path, size_t size) {
    const std::string out = velmorant::test::mixedText(size, 2463534242u);
    std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(size));
}

struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

double cpuSeconds(int who) {
    struct rusage u {};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One run of `run`, keeping the best figures in `t`. `child`: the work is done by a child
// process started through std::system.
void timeRun(Timing& t, bool child, const std::function<bool()>& run) {
    const int who = child ? RUSAGE_CHILDREN : RUSAGE_SELF;
    const double cpuStart = cpuSeconds(who);
    const auto start = Clock::now();
    if (!run()) {
        std::fprintf(stderr, "a run failed\n");
        std::exit(1);
    }
    t.wall = std::min(t.wall, std::chrono::duration<double>(Clock::now() - start).count());
    t.cpu = std::min(t.cpu, cpuSeconds(who) - cpuStart);
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
    const auto source = dir / "PDATo1C.xml";
    const size_t size = 64u << 20;
    writeMixedText(source, size);
    const auto ours = dir / "ours.zip";
    const auto reference = dir / "reference.zip";
    const std::string q = "'";
    const int runs = 3;
    const velmorant::SystemClock systemClock;

    Timing packOurs, packReference, unpackOurs, unpackReference;
    for (int i = 0; i < runs; ++i) {
        timeRun(packOurs, false, [&] {
            return velmorant::PackFile(source.string(), ours.string(), dir.string(), systemClock);
        });
        timeRun(packReference, true, [&] {
            std::filesystem::remove(reference);
            const std::string cmd =
                "zip -q -9 -j " + q + reference.string() + q + " " + q + source.string() + q;
            return std::system(cmd.c_str()) == 0;
        });
    }
    for (int i = 0; i < runs; ++i) {
        timeRun(unpackOurs, false, [&] {
            velmorant::TUnzipper unzipper;
            return velmorant::UnpackFiles(unzipper, reference.string(), (dir / "a").string(),
                                          "PDATo1C.xml") == 1;
        });
        timeRun(unpackReference, true, [&] {
            const std::string cmd =
                "unzip -q -o " + q + reference.string() + q + " -d " + q + (dir / "b").string() + q;
            return std::system(cmd.c_str()) == 0;
        });
    }
    const bool same =
        sizeOf(dir / "a" / "PDATo1C.xml") == size && sizeOf(dir / "b" / "PDATo1C.xml") == size;

    std::printf("zip_bench: 64 MiB mixed text, best of %d alternating runs\n", runs);
    std::printf("  pack    PackFile wall %.3f s cpu %.3f s | zip -9 wall %.3f s cpu %.3f s\n",
                packOurs.wall, packOurs.cpu, packReference.wall, packReference.cpu);
    std::printf("          ratio wall %.3f cpu %.3f  (archives %llu / %llu bytes)\n",
                packOurs.wall / packReference.wall, packOurs.cpu / packReference.cpu,
                static_cast<unsigned long long>(sizeOf(ours)),
                static_cast<unsigned long long>(sizeOf(reference)));
    std::printf("  unpack  UnpackFiles wall %.3f s cpu %.3f s | unzip wall %.3f s cpu %.3f s\n",
                unpackOurs.wall, unpackOurs.cpu, unpackReference.wall, unpackReference.cpu);
    std::printf("          ratio wall %.3f cpu %.3f  (the same archive, made by zip -9)\n",
                unpackOurs.wall / unpackReference.wall, unpackOurs.cpu / unpackReference.cpu);
    std::printf("  outputs complete: %s\n", same ? "yes" : "NO");
    std::printf("RESULT pack-vs-zip-9 %.2f 1.1\n", packOurs.wall / packReference.wall);
    std::printf("RESULT unpack-vs-unzip %.2f 1.1\n", unpackOurs.wall / unpackReference.wall);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return same ? 0 : 1;
}
