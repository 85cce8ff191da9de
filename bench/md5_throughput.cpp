// Prints how fast FileMd5Hex digests a file next to md5sum on the same file: the best of a few
// runs each, with the file in the page cache, so the figures compare the digest code alone.
// Usage: md5_throughput FILE [RUNS]
#include "UpdateManager/Installer.h"
#include "platform/Process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

double BestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: md5_throughput FILE [RUNS]\n");
        return 2;
    }
    const std::string file = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const double mib = static_cast<double>(Kelvora::UpdateManager::FileSizeOrZero(file)) / (1024.0 * 1024.0);
    if (mib <= 0) {
        std::fprintf(stderr, "%s is missing or empty\n", file.c_str());
        return 2;
    }

    std::string digest;
    const double ours = BestSeconds(runs, [&] { digest = Kelvora::UpdateManager::FileMd5Hex(file); });
    // md5sum prints its own digest line, for comparison with ours.
    int md5sumResult = 0;
    const double theirs = BestSeconds(runs, [&] { md5sumResult = Platform::RunProcess("md5sum", {"md5sum", file}); });
    if (md5sumResult != 0) {
        std::fprintf(stderr, "md5sum failed\n");
        return 1;
    }

    std::printf("FileMd5Hex %s\n", digest.c_str());
    std::printf("FileMd5Hex: %.3f s, %.0f MiB/s\n", ours, mib / ours);
    std::printf("md5sum:     %.3f s, %.0f MiB/s\n", theirs, mib / theirs);
    std::printf("FileMd5Hex throughput / md5sum throughput: %.3f\n", theirs / ours);
    return 0;
}
