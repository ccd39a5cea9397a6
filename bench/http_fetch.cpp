// A 32 MiB body fetched from a loopback server through THttpClient (on the main thread, pumping
// the main queue) beside `curl -s -o /dev/null` of the same URL; BM_RatioToCurl alternates the
// two and reports ours over curl's time. Like curl's, our body goes nowhere (the client counts
// it); BM_HttpClientToMemory keeps it in a memory stream as the HTTP object does, and
// BM_RatioToCurlInMemory reports that beside curl.
#include "net/httpcli.h"
#include "platform/clock.h"
#include "tests/common/local_server.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int64_t kBodySize = 32 << 20;

LocalServer& Server() {
    static LocalServer server(LocalServer::Hostile(), LocalServer::PlainPort);
    return server;
}

// The body's URL; each benchmark asks for it before its clock runs, so that the server's start
// (the interpreter's, tens of milliseconds) is timed in none of them.
std::string Url() { return Server().Url("/big/" + std::to_string(kBodySize)); }

// Our fetch, into Body when given; false when the body is not the size sent.
bool FetchOurs(const std::string& Url, TMemoryStream* Body = nullptr) {
    THttpClient client;
    client.RcvdStream = Body;
    client.URL = Url;
    client.Get();
    return client.RcvdCount == kBodySize && (!Body || Body->Size() == kBodySize);
}

bool FetchCurl(const std::string& Url) { return std::system(("curl -s -o /dev/null " + Url).c_str()) == 0; }

void BM_HttpClient(benchmark::State& state) {
    const std::string url = Url();
    for (auto _ : state)
        if (!FetchOurs(url)) state.SkipWithError("short body");
    state.SetBytesProcessed(state.iterations() * kBodySize);
}

void BM_HttpClientToMemory(benchmark::State& state) {
    const std::string url = Url();
    for (auto _ : state) {
        TMemoryStream body;
        if (!FetchOurs(url, &body)) state.SkipWithError("short body");
    }
    state.SetBytesProcessed(state.iterations() * kBodySize);
}

void BM_Curl(benchmark::State& state) {
    const std::string url = Url();
    for (auto _ : state)
        if (!FetchCurl(url)) state.SkipWithError("curl failed");
    state.SetBytesProcessed(state.iterations() * kBodySize);
}

// Ours over curl's time, each iteration running both; the body kept in a memory stream when
// Keep is set.
void RatioToCurl(benchmark::State& state, bool Keep) {
    const std::string url = Url();
    uint64_t ours = 0, curl = 0;
    for (auto _ : state) {
        uint64_t start = platform::ClockNs();
        TMemoryStream body;
        if (!FetchOurs(url, Keep ? &body : nullptr)) state.SkipWithError("short body");
        ours += platform::ClockNs() - start;
        start = platform::ClockNs();
        if (!FetchCurl(url)) state.SkipWithError("curl failed");
        curl += platform::ClockNs() - start;
    }
    state.counters["ratio"] = curl ? double(ours) / double(curl) : 0;
}

void BM_RatioToCurl(benchmark::State& state) { RatioToCurl(state, false); }
void BM_RatioToCurlInMemory(benchmark::State& state) { RatioToCurl(state, true); }

BENCHMARK(BM_HttpClient)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HttpClientToMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Curl)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RatioToCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_RatioToCurlInMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
