// An installer that runs until the test lets it go: it appends a line to "<own path>.runs" and
// creates "<own path>.started", then waits until "<own path>.release" exists (at most a minute)
// and exits with 0.
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

int main(int, char** argv)
{
    const std::string self = argv[0];
    std::ofstream(self + ".runs", std::ios::app) << "run\n";
    std::ofstream(self + ".started").put('1');
    const std::string release = self + ".release";
    for (int i = 0; i < 6000 && access(release.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
