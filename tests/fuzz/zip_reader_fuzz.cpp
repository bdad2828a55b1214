// Fuzz target of the archive reader: every input is written as an archive and unpacked with
// the mask "*" into a scratch folder, which is emptied again afterwards. Output files are
// limited to 64 MiB (a larger entry fails as a write error) so that bombs stay cheap.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/archive/Unzipper.h"

namespace {

std::filesystem::path g_scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string templ = (std::filesystem::temp_directory_path() / "zipfuzz-XXXXXX").string();
    if (!mkdtemp(templ.data())) std::abort();
    g_scratch = templ;
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = 64u << 20;
    setrlimit(RLIMIT_FSIZE, &limit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path archive = g_scratch / "input.zip";
    const std::filesystem::path target = g_scratch / "out";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    velmorant::TUnzipper unzipper;
    const int result = velmorant::UnpackFiles(unzipper, archive.string(), target.string(), "*");
    // Whatever the archive held, nothing may land outside the target folder.
    for (const auto& entry : std::filesystem::directory_iterator(g_scratch)) {
        const auto name = entry.path().filename();
        if (name != "input.zip" && name != "out") std::abort();
    }
    if (result < -500) std::abort();
    std::error_code ec;
    std::filesystem::remove_all(target, ec);
    return 0;
}
