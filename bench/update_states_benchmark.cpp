// One UpdateManager::UpdateStates poll over 1, 100 and 10,000 idle records ("up-to-date" and
// "update needed"), with the file-system and network calls that the polling thread makes during
// the polls counted by IoCallCounter. The goal: no such call, a cost linear in the number of
// records and below 1 us per idle record. For comparison, in the same run: a walk over the same
// map that only loads each record's status twice (the least a poll can do), and a poll over
// paused records, which the poll checks against the disk. The figures go to standard error.
#include "UpdateManager/UpdateManager.h"

#include "bench/IoCallCounter.h"
#include "tests/support/TempDir.h"

#include <Poco/Net/StreamSocket.h>
#include <benchmark/benchmark.h>
#include <boost/filesystem.hpp>

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

using namespace Kelvora::UpdateManager;
namespace fs = boost::filesystem;

namespace {

enum class Kind { Idle, Paused };

// A manager without server requests holding `count` records. One downloader serves them all:
// a poll never touches the downloader of an idle record, and 10,000 records with a worker
// thread each would measure the machine rather than the poll.
class Records
{
public:
    Records(int count, Kind kind) : manager("", "http://127.0.0.1:9", platformWindows)
    {
        manager.SetQueryServer(false);
        manager.SetDownloadDir(folder.String());
        const auto downloader = std::make_shared<DownloaderBackgrounder>("bench");
        for (int i = 0; i < count; ++i) {
            std::ostringstream sku;
            sku << "SKU" << std::setw(5) << std::setfill('0') << i;
            ProductDescription description;
            description.name = "Product " + sku.str();
            description.sku = sku.str();
            description.type = productTypeSoft;
            description.url = "http://127.0.0.1/files/" + sku.str() + ".exe";
            description.latestVersion = "2.0";
            description.localVersion = kind == Kind::Idle && i % 2 == 0 ? "2.0" : "1.0";
            if (kind == Kind::Paused)
                folder.WriteFile(sku.str() + ".exe", "partial");
            manager.GetProducts().emplace(ProductKey(sku.str(), productTypeSoft),
                                          ProductData(description, Installer(), downloader));
        }
        // Initialises every installer and computes its status from versions and files.
        manager.RefreshRecords(manager.GetProducts().begin(), manager.GetProducts().end());
    }

    UpdateManager& Manager() { return manager; }

private:
    TempDir folder;
    UpdateManager manager;
};

// Per-benchmark results for the summary: nanoseconds per record and calls per poll.
struct Figures
{
    double nsPerRecord = 0;
    IoCalls callsPerPoll{0, 0, 0};
};
std::map<std::string, Figures> figures;

void Record(benchmark::State& state, const std::string& name, std::chrono::nanoseconds elapsed, IoCalls calls,
            int records)
{
    const double polls = static_cast<double>(state.iterations());
    Figures& result = figures[name + "/" + std::to_string(records)];
    result.nsPerRecord = static_cast<double>(elapsed.count()) / polls / records;
    result.callsPerPoll = {static_cast<unsigned long>(calls.fileSystem / polls),
                           static_cast<unsigned long>(calls.network / polls),
                           static_cast<unsigned long>(calls.readWrite / polls)};
    using Counter = benchmark::Counter;
    state.counters["time_per_record"] = Counter(polls * records, Counter::kIsRate | Counter::kInvert);
    // Per poll.
    state.counters["fs_calls"] = Counter(static_cast<double>(calls.fileSystem), Counter::kAvgIterations);
    state.counters["net_calls"] = Counter(static_cast<double>(calls.network), Counter::kAvgIterations);
    state.counters["rw_calls"] = Counter(static_cast<double>(calls.readWrite), Counter::kAvgIterations);
    state.SetComplexityN(records);
}

void Poll(benchmark::State& state, Kind kind, const std::string& name)
{
    const int count = static_cast<int>(state.range(0));
    Records records(count, kind);
    UpdateManager& manager = records.Manager();
    manager.UpdateStates(); // settles any first-poll work
    IoCountingStart();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        manager.UpdateStates();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Record(state, name, elapsed, IoCountingStop(), count);
}

void UpdateStatesIdle(benchmark::State& state)
{
    Poll(state, Kind::Idle, "UpdateStatesIdle");
}
BENCHMARK(UpdateStatesIdle)->Arg(1)->Arg(100)->Arg(10000)->Complexity(benchmark::oN);

void UpdateStatesPaused(benchmark::State& state)
{
    Poll(state, Kind::Paused, "UpdateStatesPaused");
}
BENCHMARK(UpdateStatesPaused)->Arg(100);

// The reference: the same map walked in the same order, each status loaded twice.
void StatusWalkReference(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    Records records(count, Kind::Idle);
    ProductMap& products = records.Manager().GetProducts();
    IoCountingStart();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        int changed = 0;
        for (const ProductMap::value_type& record : products) {
            const ProductStatus old = record.second.installer.GetStatus();
            changed += record.second.installer.GetStatus() != old;
        }
        benchmark::DoNotOptimize(changed);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    Record(state, "StatusWalkReference", elapsed, IoCountingStop(), count);
}
BENCHMARK(StatusWalkReference)->Arg(1)->Arg(100)->Arg(10000);

// Shows that the counter sees calls made inside the libraries (boost filesystem, Poco).
void CheckCounter()
{
    IoCountingStart();
    const bool present = fs::exists("/");
    const unsigned long fileSystem = IoCountingStop().fileSystem;
    IoCountingStart();
    try {
        Poco::Net::StreamSocket socket(Poco::Net::SocketAddress::IPv4);
    } catch (const std::exception&) {
        // Only the count matters.
    }
    const unsigned long network = IoCountingStop().network;
    std::cerr << "counter check: fs::exists made " << fileSystem << " file-system call(s)" << (present ? "" : " (?)")
              << ", a Poco socket " << network << " network call(s)\n";
}

void PrintSummary()
{
    std::cerr << "\nsummary (goal: no file-system or network call, linear, < 1000 ns per idle record)\n";
    for (int records : {1, 100, 10000}) {
        const std::string key = "/" + std::to_string(records);
        const Figures& poll = figures["UpdateStatesIdle" + key];
        const Figures& walk = figures["StatusWalkReference" + key];
        std::cerr << std::fixed << std::setprecision(1) << "idle records " << std::setw(6) << records << ": "
                  << std::setw(7) << poll.nsPerRecord << " ns per record (" << std::setprecision(2)
                  << (walk.nsPerRecord > 0 ? poll.nsPerRecord / walk.nsPerRecord : 0)
                  << " x the status walk), per poll: " << poll.callsPerPoll.fileSystem << " file-system, "
                  << poll.callsPerPoll.network << " network, " << poll.callsPerPoll.readWrite << " read/write calls\n";
    }
    const Figures& paused = figures["UpdateStatesPaused/100"];
    std::cerr << std::setprecision(1) << "paused records    100: " << paused.nsPerRecord << " ns per record, per poll: "
              << paused.callsPerPoll.fileSystem << " file-system calls (the disk check of a paused download)\n";
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The log engine's own lines; the figures go to standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    CheckCounter();
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
