// FTP transfer throughput: FtpTransfer (libcurl's multi interface on a poll loop, verbose
// control-connection watch, temporary file, fsync and rename for downloads) against a bare
// blocking libcurl transfer of the same file from the same local pyftpdlib server. Prints
// MB/s of both and the ratio.
#include <curl/curl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/FtpTransfer.h"
#include "core/exchange/PollTransferLoop.h"

namespace {

namespace fs = std::filesystem;
using velmorant::FtpDirection;

constexpr std::size_t kFileSize = 16 * 1024 * 1024;
constexpr int kRounds = 4;

using velmorant::bench::QuietScreen;

size_t toFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

bool bareTransfer(FtpDirection direction, int port, const fs::path& local) {
    CURL* c = curl_easy_init();
    const std::string url =
        "ftp://127.0.0.1:" + std::to_string(port) + "/" + local.filename().string();
    FILE* file = std::fopen(local.c_str(), direction == FtpDirection::Send ? "rb" : "wb");
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERPWD, "anonimous:x");
    if (direction == FtpDirection::Send) {
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READDATA, file);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(kFileSize));
    } else {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, toFile);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, file);
    }
    const bool ok = curl_easy_perform(c) == CURLE_OK;
    std::fclose(file);
    curl_easy_cleanup(c);
    return ok;
}

template <class F>
double megabytesPerSecond(F transfer) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        if (!transfer()) {
            std::fprintf(stderr, "transfer failed\n");
            std::exit(1);
        }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return kRounds * (kFileSize / 1048576.0) / took.count();
}

}  // namespace

int main() {
    char dirTemplate[] = "/tmp/velmorant-ftp-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(dirTemplate);
    fs::create_directories(dir / "root");
    fs::create_directories(dir / "local");
    {
        std::ofstream out(dir / "root" / "ToPDA.sqd", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
        for (std::size_t i = 0; i < kFileSize / block.size(); ++i) out << block;
    }
    fs::copy_file(dir / "root" / "ToPDA.sqd", dir / "local" / "PDATo1C.zip");

    auto server =
        std::make_unique<velmorant::bench::LocalFtpServer>(dir / "root", dir / "server.log");
    const int port = server->port();

    QuietScreen screen;
    velmorant::PollTransferLoop loop;
    velmorant::FtpConnection connection;
    connection.host = "127.0.0.1";
    connection.port = static_cast<std::uint16_t>(port);
    connection.login = "anonimous";
    connection.password = "x";
    const fs::path download = dir / "local" / "ToPDA.sqd";
    const fs::path upload = dir / "local" / "PDATo1C.zip";
    const double fetchOurs = megabytesPerSecond([&] {
        return velmorant::FtpTransfer(screen, loop, FtpDirection::Fetch, connection,
                                      download.string());
    });
    const double fetchBare =
        megabytesPerSecond([&] { return bareTransfer(FtpDirection::Fetch, port, download); });
    const double sendOurs = megabytesPerSecond([&] {
        return velmorant::FtpTransfer(screen, loop, FtpDirection::Send, connection,
                                      upload.string());
    });
    const double sendBare =
        megabytesPerSecond([&] { return bareTransfer(FtpDirection::Send, port, upload); });

    std::printf("ftp_bench: %d transfers of %zu MB from a local pyftpdlib server\n", kRounds,
                kFileSize >> 20);
    std::printf("  fetch: FtpTransfer %.1f MB/s, bare libcurl %.1f MB/s, ratio %.2f\n", fetchOurs,
                fetchBare, fetchOurs / fetchBare);
    std::printf("  send:  FtpTransfer %.1f MB/s, bare libcurl %.1f MB/s, ratio %.2f\n", sendOurs,
                sendBare, sendOurs / sendBare);
    // As time ratios (ours over the bare transfer), like every other benchmark.
    std::printf("RESULT ftp-fetch-vs-libcurl %.2f -\n", fetchBare / fetchOurs);
    std::printf("RESULT ftp-send-vs-libcurl %.2f -\n", sendBare / sendOurs);

    server.reset();
    fs::remove_all(dir);
    return 0;
}
