// Exchange overhead: USB_IO's commands against the bare write + read pair of the same
// instant backend. A real box costs 1 to 2 ms per exchange; the host's share is this.

#include "bench_support.h"
#include "device/usb_io.h"

namespace {

using iox::bench::InstantBackend;

void BarePair(benchmark::State& state)
{
    InstantBackend backend;
    const iox::HidHandle handle = backend.open("hid0");
    iox::Report request{}, answer{};
    request[1] = iox::cmd::ReadByteA;
    for (auto _ : state) {
        backend.write(handle, request);
        backend.read(handle, answer, std::chrono::milliseconds(1000));
        benchmark::DoNotOptimize(answer);
    }
}
BENCHMARK(BarePair);

void ReadByteA(benchmark::State& state)
{
    InstantBackend backend;
    iox::USB_IO io{backend};
    io.Connect();
    std::uint8_t value = 0;
    for (auto _ : state) {
        io.ReadByteA(value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(ReadByteA);

void SpiOut(benchmark::State& state)
{
    InstantBackend backend;
    iox::USB_IO io{backend};
    io.Connect();
    // The caller's texts, as the panel holds them in its controls.
    const std::string clock = "B0", data = "B1", latch = "B2", word(32, '1');
    for (auto _ : state)
        benchmark::DoNotOptimize(io.SPI_OUT(clock, data, latch, word));
}
BENCHMARK(SpiOut);

std::string judge(const std::map<std::string, benchmark::BenchmarkReporter::Run>& m, const std::string& name)
{
    if (!m.count(name) || !m.count("BarePair"))
        return "not run";
    const double ns = iox::bench::nsPerIteration(m.at(name));
    const double ratio = ns / iox::bench::nsPerIteration(m.at("BarePair"));
    char text[160];
    std::snprintf(text, sizeof text, "%.0f ns/exchange, %.2f x bare pair (goal <= 1.5 x and < 1000 ns; USB: ~1-2 ms)%s",
                  ns, ratio, iox::bench::verdict(ratio <= 1.5 && ns < 1000).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    return iox::bench::runWithGoals(argc, argv,
                                    {{"USB_IO::ReadByteA vs bare pair", [](const auto& m) { return judge(m, "ReadByteA"); }},
                                     {"USB_IO::SPI_OUT vs bare pair", [](const auto& m) { return judge(m, "SpiOut"); }}});
}
