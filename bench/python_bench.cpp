// Python's added cost per call: the same command through USB_IO in C++ and through the iox
// module in an embedded interpreter, both on a simulated box, side by side in one run.

#include <pybind11/embed.h>

#include "bench_support.h"
#include "device/sim/sim_backend.h"
#include "device/usb_io.h"

namespace {

namespace py = pybind11;

constexpr int kBatch = 100;  // Python statements per benchmark iteration

struct CppBox {
    iox::sim::SimBackend bus;
    iox::USB_IO io{bus};
    CppBox()
    {
        bus.addBox({});
        io.Connect();
    }
};

void CppSetRelay(benchmark::State& state)
{
    CppBox box;
    for (auto _ : state) {
        std::int16_t relay = 3, on = 1;
        benchmark::DoNotOptimize(box.io.Set_Relay(relay, on));
        box.bus.clearLog();
    }
}
BENCHMARK(CppSetRelay);

void CppReadBit(benchmark::State& state)
{
    CppBox box;
    const std::string line = "B5";
    std::uint8_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(box.io.ReadBit(line, value));
        box.bus.clearLog();
    }
}
BENCHMARK(CppReadBit);

void CppSpiOut(benchmark::State& state)
{
    CppBox box;
    const std::string clock = "B0", data = "B1", latch = "B2", word(32, '1');
    for (auto _ : state) {
        benchmark::DoNotOptimize(box.io.SPI_OUT(clock, data, latch, word));
        box.bus.clearLog();
    }
}
BENCHMARK(CppSpiOut);

// Runs `statement` kBatch times per iteration in a Python loop over an open simulated box;
// the log is cleared as in the C++ cases, once per batch.
void python(benchmark::State& state, const char* statement)
{
    py::dict scope;
    py::exec(std::string("import iox\n"
                         "bus = iox.simulate([('IOX-MODEL-C', '10001')])\n"
                         "box = bus.open('10001')\n"
                         "def run(r=range(") +
                 std::to_string(kBatch) + ")):\n    for _ in r:\n        " + statement +
                 "\n    bus.clear_requests()\n",
             scope);
    py::object run = scope["run"];
    for (auto _ : state)
        run();
    scope["box"].attr("close")();
}

void PySetRelay(benchmark::State& state) { python(state, "box.relays[3] = True"); }
BENCHMARK(PySetRelay);
void PyReadBit(benchmark::State& state) { python(state, "box.port_b[5]"); }
BENCHMARK(PyReadBit);
void PySpiOut(benchmark::State& state) { python(state, "box.spi_out('1' * 32, clock='B0', data='B1', latch='B2')"); }
BENCHMARK(PySpiOut);
void PyEmptyLoop(benchmark::State& state) { python(state, "pass"); }
BENCHMARK(PyEmptyLoop);

std::string judge(const std::map<std::string, benchmark::BenchmarkReporter::Run>& m, const std::string& cpp,
                  const std::string& python)
{
    if (!m.count(cpp) || !m.count(python))
        return "not run";
    // Judged on CPU time: on a shared machine the wall time also holds the waits for a core.
    const auto cpuNs = [&](const std::string& name) {
        const auto& run = m.at(name);
        return iox::bench::nsPerIteration(run) * run.GetAdjustedCPUTime() / run.GetAdjustedRealTime();
    };
    const double cppNs = cpuNs(cpp), pyNs = cpuNs(python) / kBatch;
    const double wallAdded = iox::bench::nsPerIteration(m.at(python)) / kBatch - iox::bench::nsPerIteration(m.at(cpp));
    char text[240];
    std::snprintf(text, sizeof text, "CPU: C++ %.0f ns, Python %.0f ns, %.0f ns added (goal <= 1000 ns); wall: %.0f ns added%s",
                  cppNs, pyNs, pyNs - cppNs, wallAdded, iox::bench::verdict(pyNs - cppNs <= 1000).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    py::scoped_interpreter python;
    py::module_::import("sys").attr("path").attr("insert")(0, IOX_PYTHON_DIR);
    return iox::bench::runWithGoals(
        argc, argv,
        {{"box.relays[3] = True vs Set_Relay", [](const auto& m) { return judge(m, "CppSetRelay", "PySetRelay"); }},
         {"box.port_b[5] vs ReadBit", [](const auto& m) { return judge(m, "CppReadBit", "PyReadBit"); }},
         {"box.spi_out (32 bits) vs SPI_OUT", [](const auto& m) { return judge(m, "CppSpiOut", "PySpiOut"); }},
         {"the Python loop itself, per statement", [](const auto& m) {
              return m.count("PyEmptyLoop") ? std::to_string(iox::bench::nsPerIteration(m.at("PyEmptyLoop")) / kBatch) + " ns"
                                            : std::string("not run");
          }}});
}
