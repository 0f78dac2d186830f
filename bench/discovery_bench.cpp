// Discovery: listing serial numbers and connecting by serial number with 4 boxes among
// 40 HID interfaces. Counts the passes over the interfaces and the opens of non-boxes.

#include "bench_support.h"
#include "device/usb_io.h"

namespace {

using iox::bench::InstantBackend;

constexpr int kBoxes = 4, kInterfaces = 40;

struct Calls {
    double passes = 0, nonBoxOpens = 0;
};
Calls g_list, g_connect;

void GetAvailableSNList(benchmark::State& state)
{
    InstantBackend backend(kBoxes, kInterfaces - kBoxes, kInterfaces / kBoxes);
    iox::USB_IO io{backend};
    std::string list;
    for (auto _ : state)
        benchmark::DoNotOptimize(io.Get_Available_SN_List(list));
    g_list = {double(backend.enumerates) / double(state.iterations()), double(backend.nonBoxOpens)};
    state.counters["passes"] = g_list.passes;
    state.counters["non_box_opens"] = g_list.nonBoxOpens;
}
BENCHMARK(GetAvailableSNList);

void ConnectBySN(benchmark::State& state)
{
    InstantBackend backend(kBoxes, kInterfaces - kBoxes, kInterfaces / kBoxes);
    iox::USB_IO io{backend};
    for (auto _ : state) {
        benchmark::DoNotOptimize(io.Connect("SN3"));
        io.Disconnect();
    }
    g_connect = {double(backend.enumerates) / double(state.iterations()), double(backend.nonBoxOpens)};
    state.counters["passes"] = g_connect.passes;
    state.counters["non_box_opens"] = g_connect.nonBoxOpens;
}
BENCHMARK(ConnectBySN);

std::string judge(const std::map<std::string, benchmark::BenchmarkReporter::Run>& m, const std::string& name,
                  const Calls& calls)
{
    if (!m.count(name))
        return "not run";
    char text[200];
    std::snprintf(text, sizeof text, "%.1f us, %.0f passes (goal %d), %.0f opens of non-boxes (goal 0)%s",
                  iox::bench::nsPerIteration(m.at(name)) / 1000, calls.passes, kBoxes + 2, calls.nonBoxOpens,
                  iox::bench::verdict(calls.passes == kBoxes + 2 && calls.nonBoxOpens == 0).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    return iox::bench::runWithGoals(
        argc, argv,
        {{"Get_Available_SN_List, 4 boxes in 40", [](const auto& m) { return judge(m, "GetAvailableSNList", g_list); }},
         {"Connect(SN), 4 boxes in 40", [](const auto& m) { return judge(m, "ConnectBySN", g_connect); }}});
}
