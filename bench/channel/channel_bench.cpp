// Command channel under load: K client processes (1, 2, 4) each send N
// requests of varied lengths to one echo server; every reply is checked
// against its request. The floor is a bare ping-pong of two named
// auto-reset events between two processes, measured in the same run.
//
//   channel_bench [N]      (N >= 2000, default 4000)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/channel.h"
#include "tests/common/child_process.h"

using namespace omb;
using namespace omb::test;

namespace {

// What a client leaves for the parent, followed by its latencies in ticks.
struct ClientReport {
    int64_t misdelivered;
    int64_t lost;
    int64_t count;
};

double TicksPerMicrosecond() {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return double(f.QuadPart) / 1e6;
}

int64_t Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Lengths from empty to the largest, most of them small, as rule requests
// (a window handle) and rule texts are.
size_t LengthFor(uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    uint32_t r = seed >> 8;
    switch (r % 8) {
        case 0:
            return 0;
        case 1:
            return 4;
        case 2:
        case 3:
            return r % 64;
        case 4:
        case 5:
            return r % 1024;
        case 6:
            return r % 4096;
        default:
            return r % (TProcessesCommunication::kMaxDataLength + 1);
    }
}

UniqueHandle Block(const std::string& name, size_t size) {
    return UniqueHandle(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(size), name.c_str()));
}

// server CHANNEL: echoes code and data until CHANNEL+"Quit".
int ServerRole(const std::vector<std::string>& args) {
    if (args.empty()) return 90;
    TProcessesCommunication channel(args[0]);
    UniqueHandle quit = NamedEvent(args[0] + "Quit");
    UniqueHandle ready = NamedEvent(args[0] + "Ready");
    ::SetEvent(ready.get());
    while (!WaitSignalled(quit.get(), 0)) {
        int32_t code;
        std::string data;
        if (channel.WaitForCommand(code, data) == TProcessesCommunication::Done)
            channel.SendReply(code, data);
    }
    return 0;
}
OMB_CHILD_ROLE("server", ServerRole);

// client CHANNEL ID N: after CHANNEL+"Go" sends N requests and writes its
// report into the block CHANNEL+"Report"+ID.
int ClientRole(const std::vector<std::string>& args) {
    if (args.size() < 3) return 90;
    const std::string& name = args[0];
    const int id = std::atoi(args[1].c_str());
    const int n = std::atoi(args[2].c_str());
    UniqueHandle block = Block(name + "Report" + args[1], sizeof(ClientReport) + sizeof(int64_t) * size_t(n));
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view) return 91;
    auto* report = static_cast<ClientReport*>(view.get());
    auto* latency = reinterpret_cast<int64_t*>(report + 1);

    TProcessesCommunication channel(name);
    uint32_t seed = 12345u + uint32_t(id) * 7919u;
    std::string data;
    std::string reply;
    if (!WaitSignalled(NamedEvent(name + "Go").get(), 30000)) return 92;
    for (int i = 0; i < n; ++i) {
        // The code and the first bytes name the client and the request.
        const int32_t code = (id << 24) | i;
        data.assign(LengthFor(seed), char(id));
        for (size_t k = 0; k < data.size(); ++k) data[k] = char((k * 31 + size_t(i) * 7 + size_t(id)) & 0xFF);
        std::memcpy(&data[0], &code, std::min(data.size(), sizeof(code)));
        int32_t replyCode;
        int64_t start = Now();
        int r = channel.SendCommand(code, data, replyCode, reply);
        latency[i] = Now() - start;
        if (r != TProcessesCommunication::Done)
            ++report->lost;
        else if (replyCode != code || reply != data)
            ++report->misdelivered;
    }
    report->count = n;
    return 0;
}
OMB_CHILD_ROLE("client", ClientRole);

// pong NAME N: answers N pings.
int PongRole(const std::vector<std::string>& args) {
    if (args.size() < 2) return 90;
    UniqueHandle ping(::CreateEventA(nullptr, FALSE, FALSE, (args[0] + "Ping").c_str()));
    UniqueHandle pong(::CreateEventA(nullptr, FALSE, FALSE, (args[0] + "Pong").c_str()));
    const int n = std::atoi(args[1].c_str());
    for (int i = 0; i < n; ++i) {
        if (::WaitForSingleObject(ping.get(), 5000) != WAIT_OBJECT_0) return 91;
        ::SetEvent(pong.get());
    }
    return 0;
}
OMB_CHILD_ROLE("pong", PongRole);

double Percentile(std::vector<int64_t>& v, double p) {
    if (v.empty()) return 0;
    size_t k = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
    return double(v[k]) / TicksPerMicrosecond();
}

std::string Unique(const char* stem) {
    static int counter = 0;
    return std::string("omb-bench-") + stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

bool MeasureFloor(int n, std::vector<int64_t>& rounds) {
    std::string name = Unique("floor");
    UniqueHandle ping(::CreateEventA(nullptr, FALSE, FALSE, (name + "Ping").c_str()));
    UniqueHandle pong(::CreateEventA(nullptr, FALSE, FALSE, (name + "Pong").c_str()));
    const int warm = 200;
    ChildProcess child = ChildProcess::Start("pong", {name, std::to_string(n + warm)});
    if (!child) return false;
    for (int i = 0; i < n + warm; ++i) {
        int64_t start = Now();
        ::SetEvent(ping.get());
        if (::WaitForSingleObject(pong.get(), 5000) != WAIT_OBJECT_0) return false;
        if (i >= warm) rounds.push_back(Now() - start);
    }
    return child.Wait(5000);
}

struct ChannelRun {
    std::vector<int64_t> latencies;
    int64_t misdelivered = 0;
    int64_t lost = 0;
    double wallSeconds = 0;
};

bool MeasureChannel(int clients, int n, ChannelRun& run) {
    std::string name = Unique("channel");
    UniqueHandle ready = NamedEvent(name + "Ready");
    UniqueHandle quit = NamedEvent(name + "Quit");
    UniqueHandle go = NamedEvent(name + "Go");
    ChildProcess server = ChildProcess::Start("server", {name});
    if (!server || !WaitSignalled(ready.get(), 10000)) return false;

    std::vector<UniqueHandle> blocks;
    std::vector<ChildProcess> children;
    for (int c = 0; c < clients; ++c) {
        blocks.push_back(Block(name + "Report" + std::to_string(c + 1),
                               sizeof(ClientReport) + sizeof(int64_t) * size_t(n)));
        children.push_back(ChildProcess::Start("client", {name, std::to_string(c + 1), std::to_string(n)}));
        if (!blocks.back() || !children.back()) return false;
    }
    ::Sleep(300);  // every client waits at the start line
    int64_t start = Now();
    ::SetEvent(go.get());
    bool ok = true;
    for (int c = 0; c < clients; ++c) {
        DWORD exit = 1;
        if (!children[size_t(c)].Wait(120000, &exit) || exit != 0) {
            std::fprintf(stderr, "client %d failed (exit %lu)\n", c + 1, exit);
            ok = false;
            continue;
        }
        UniqueView view(::MapViewOfFile(blocks[size_t(c)].get(), FILE_MAP_READ, 0, 0, 0));
        if (!view) return false;
        auto* report = static_cast<const ClientReport*>(view.get());
        auto* latency = reinterpret_cast<const int64_t*>(report + 1);
        run.misdelivered += report->misdelivered;
        run.lost += report->lost;
        run.latencies.insert(run.latencies.end(), latency, latency + report->count);
        if (report->count != n) run.lost += n - report->count;
    }
    run.wallSeconds = double(Now() - start) / TicksPerMicrosecond() / 1e6;
    ::SetEvent(quit.get());
    server.Wait(5000);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (RunChildRole(argc, argv, exitCode)) return exitCode;

    int n = argc > 1 ? std::atoi(argv[1]) : 4000;
    if (n < 2000) n = 2000;

    std::string last;
    bool ok = true;
    for (int clients : {1, 2, 4}) {
        // The floor is measured right before each run, so that both see the
        // same load of the machine.
        std::vector<int64_t> floorRounds;
        if (!MeasureFloor(n, floorRounds)) {
            std::fprintf(stderr, "floor measurement failed\n");
            return 1;
        }
        const double floorP50 = Percentile(floorRounds, 0.50);
        const double floorP99 = Percentile(floorRounds, 0.99);
        std::printf("floor: event ping-pong between two processes rounds=%d p50_us=%.1f p99_us=%.1f\n", n,
                    floorP50, floorP99);
        ChannelRun run;
        if (!MeasureChannel(clients, n, run)) ok = false;
        std::vector<int64_t> copy = run.latencies;
        const double p50 = Percentile(copy, 0.50);
        const double p99 = Percentile(copy, 0.99);
        const double perRequest =
            run.latencies.empty() ? 0 : run.wallSeconds * 1e6 / double(run.latencies.size());
        char line[512];
        std::snprintf(
            line, sizeof(line),
            "channel: clients=%d requests=%zu p50_us=%.1f p99_us=%.1f floor_p50_us=%.1f ratio_p50=%.2f "
            "misdelivered=%lld lost=%lld",
            clients, run.latencies.size(), p50, p99, floorP50, floorP50 > 0 ? p50 / floorP50 : 0.0,
            static_cast<long long>(run.misdelivered), static_cast<long long>(run.lost));
        std::printf(
            "clients=%d: wall_s=%.2f us_per_request=%.1f (all clients together; ratio to floor %.2f)\n",
            clients, run.wallSeconds, perRequest, floorP50 > 0 ? perRequest / floorP50 : 0.0);
        if (clients < 4)
            std::printf("%s\n", line);
        else
            last = line;
    }
    std::printf("%s\n", last.c_str());
    return ok ? 0 : 1;
}
