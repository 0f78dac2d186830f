#pragma once
// Shared set-up of the panel tests: simulated boxes, recording window services, the
// request log in readable form.

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "device/commands.h"
#include "device/sim/sim_backend.h"
#include "panels/main_window.h"
#include "panels/ui_services.h"
#include "tests/support/recording_services.h"

namespace iox::testing {

// One request as a short text: "A-out", "SetByte B 0", "TTL B3 1", "Relay 5 1",
// "SPI B0 B1 B2 101011", "PulseWidth 10", "Pulse A0 5"; other codes by name.
inline std::string describe(const Report& r)
{
    const auto line = [&](std::size_t at) {
        return r[at] == 0 ? std::string("-") : std::string(1, static_cast<char>(r[at])) + std::to_string(r[at + 1]);
    };
    switch (r[1]) {
    case cmd::SetSpiPulseWidth: return "PulseWidth " + std::to_string(r[2]);
    case cmd::SetByteAAsInput: return "A-in";
    case cmd::SetByteAAsOutput: return "A-out";
    case cmd::SetByteBAsInput: return "B-in";
    case cmd::SetByteBAsOutput: return "B-out";
    case cmd::ReadByteA: return "ReadA";
    case cmd::ReadByteB: return "ReadB";
    case cmd::SetByte: return std::string("SetByte ") + static_cast<char>(r[2]) + " " + std::to_string(r[3]);
    case cmd::SetTtlBit: return "TTL " + line(2) + " " + std::to_string(r[4]);
    case cmd::SetRelayByte: return "RelayByte " + std::to_string(r[2]);
    case cmd::SetRelay: return "Relay " + std::to_string(r[2]) + " " + std::to_string(r[3]);
    case cmd::ReadRelaysByte: return "ReadRelays";
    case cmd::SpiOut: {
        std::string word;
        for (std::size_t i = 0; i < r[8]; ++i)
            word += static_cast<char>('0' + r[9 + i]);
        return "SPI " + line(2) + " " + line(4) + " " + line(6) + " " + word;
    }
    case cmd::ReadModelName: return "Model";
    case cmd::ReadSn: return "SN";
    case cmd::SetTtlPulse: return "Pulse " + line(2) + " " + std::to_string(r[4]);
    case cmd::GetExtFirmware: return "Firmware";
    default: return "code " + std::to_string(r[1]);
    }
}

using Requests = std::vector<std::string>;

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app::resetForTests();
        app::setDeviceBackend(bus, [] { ui::services().processEvents(); });
    }
    void TearDown() override
    {
        panels::destroyWindowsForTests();
        app::resetForTests();
    }

    std::size_t addBox(const std::string& model, const std::string& serial)
    {
        sim::BoxConfig config;
        config.model = model;
        config.serial = serial;
        return bus.addBox(config);
    }

    // Every request since the last clearLog(), to any box.
    Requests requests() const
    {
        Requests out;
        for (const auto& entry : bus.log())
            out.push_back(describe(entry.report));
        return out;
    }
    // The requests sent on one handle (one connection of one object).
    Requests requestsOn(HidHandle handle) const
    {
        Requests out;
        for (const auto& entry : bus.log())
            if (entry.handle == handle)
                out.push_back(describe(entry.report));
        return out;
    }
    // The box the log's requests on `handle` went to.
    std::size_t boxOf(HidHandle handle) const
    {
        for (const auto& entry : bus.log())
            if (entry.handle == handle)
                return entry.box;
        return static_cast<std::size_t>(-1);
    }
    // Answers to `code` carry `value` in byte 2 from now on.
    void answerWith(std::size_t box, std::uint8_t code, std::uint8_t value)
    {
        auto previous = bus.faults(box).mangle;
        bus.faults(box).mangle = [=](Report& r) {
            if (previous)
                previous(r);
            if (r[1] == code)
                r[2] = value;
        };
    }

    static QColor colourOf(const QWidget* widget) { return ui::backgroundOf(*widget); }

    sim::SimBackend bus;
    RecordingServices services;
};

}  // namespace iox::testing
