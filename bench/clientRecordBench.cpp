// Constructing and clearing client records: a server builds one per render
// client at start-up and clears them when clients are reset.
#include "kxClient.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kRecords = 1000;

// One allocation for all records, each one byte off alignment, as a
// byte-packed record may be.
std::vector<unsigned char> recordStorage()
{
    return std::vector<unsigned char>(std::size_t(kRecords) * _kxClient::kRecordSize + 1);
}

// The i-th record of that storage.
_kxClient *constructAt(std::vector<unsigned char> &storage, int i)
{
    return _kxClient::constructAt(storage.data() + 1 + std::size_t(i) * _kxClient::kRecordSize);
}

std::vector<_kxClient *> constructAll(std::vector<unsigned char> &storage)
{
    std::vector<_kxClient *> clients;
    for (int i = 0; i < kRecords; ++i)
        clients.push_back(constructAt(storage, i));
    return clients;
}

void constructRecords(benchmark::State &state)
{
    std::vector<unsigned char> storage = recordStorage();
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            _kxClient *client = constructAt(storage, i);
            benchmark::DoNotOptimize(client);
        }
        benchmark::ClobberMemory();
    }
    state.counters["records/s"] = benchmark::Counter(double(kRecords), benchmark::Counter::kIsIterationInvariantRate);
}

void clearRecords(benchmark::State &state)
{
    std::vector<unsigned char> storage = recordStorage();
    const std::vector<_kxClient *> clients = constructAll(storage);
    for (auto _ : state) {
        for (_kxClient *client : clients)
            client->clear();
        benchmark::ClobberMemory();
    }
    state.counters["records/s"] = benchmark::Counter(double(kRecords), benchmark::Counter::kIsIterationInvariantRate);
}

void validateRecords(benchmark::State &state)
{
    std::vector<unsigned char> storage = recordStorage();
    const std::vector<_kxClient *> clients = constructAll(storage);
    for (auto _ : state) {
        for (_kxClient *client : clients)
            client->validate();
        benchmark::ClobberMemory();
    }
    state.counters["records/s"] = benchmark::Counter(double(kRecords), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(constructRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(clearRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(validateRecords)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
