#pragma once
// Shared set-up of the panel tests: simulated boxes, recording window services, the
// request log in readable form.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "device/commands.h"
#include "boxes/tracing_backend.h"
#include "device/sim/sim_backend.h"
#include "panels/list_form.h"
#include "panels/main_panel.h"
#include "panels/main_window.h"
#include "panels/test_form.h"
#include "session/session.h"
#include "tests/support/recording_services.h"

namespace iox::testing {

// One request as a short text: "A-out", "SetByte B 0", "TTL B3 1", "Relay 5 1",
// "SPI B0 B1 B2 101011", "PulseWidth 10", "Pulse A0 5"; other codes by number.
inline std::string describe(const Report& r)
{
    static const std::map<std::uint8_t, std::string> kBare = {
        {cmd::SetByteAAsInput, "A-in"}, {cmd::SetByteAAsOutput, "A-out"}, {cmd::SetByteBAsInput, "B-in"},
        {cmd::SetByteBAsOutput, "B-out"}, {cmd::ReadByteA, "ReadA"}, {cmd::ReadByteB, "ReadB"},
        {cmd::ReadRelaysByte, "ReadRelays"}, {cmd::ReadModelName, "Model"}, {cmd::ReadSn, "SN"},
        {cmd::GetExtFirmware, "Firmware"}};
    const auto n = [&](std::size_t at) { return std::to_string(r[at]); };
    const auto line = [&](std::size_t at) { return r[at] == 0 ? std::string("-") : char(r[at]) + n(at + 1); };
    if (const auto bare = kBare.find(r[1]); bare != kBare.end())
        return bare->second;
    switch (r[1]) {
    case cmd::SetSpiPulseWidth: return "PulseWidth " + n(2);
    case cmd::SetByte: return std::string("SetByte ") + char(r[2]) + " " + n(3);
    case cmd::SetTtlBit: return "TTL " + line(2) + " " + n(4);
    case cmd::SetRelayByte: return "RelayByte " + n(2);
    case cmd::SetRelay: return "Relay " + n(2) + " " + n(3);
    case cmd::SetTtlPulse: return "Pulse " + line(2) + " " + n(4);
    case cmd::SpiOut: {
        std::string word;
        for (std::size_t i = 0; i < r[8]; ++i)
            word += char('0' + r[9 + i]);
        return "SPI " + line(2) + " " + line(4) + " " + line(6) + " " + word;
    }
    default: return "code " + n(1);
    }
}

using Requests = std::vector<std::string>;

// The idle state and identity reads every panel load sends.
inline const Requests kLoadRequests = {"A-out", "B-out", "RelayByte 0", "SetByte A 0", "SetByte B 0", "Model", "SN"};
inline const char kPanelTitle[] = "Kestrow   USB To I/O  Controller -   (Ver A3)";

inline QStringList itemsOf(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

// Plays the operator in the selection window: picks `row`, then O.K (or Cancel).
inline std::function<void(QDialog&)> pickRow(int row, bool ok = true)
{
    return [row, ok](QDialog& dialog) {
        auto& list = dynamic_cast<panels::ListForm&>(dialog);
        list.List1()->setCurrentRow(row);
        (ok ? list.Command1() : list.Command2())->click();
    };
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session::resetForTests();
        session::setDeviceBackend(watched, [] { ui::services().processEvents(); });
    }
    void TearDown() override
    {
        panels::destroyWindowsForTests();
        session::resetForTests();
    }

    std::size_t addBox(const std::string& model, const std::string& serial)
    {
        return bus.addBox({.model = model, .serial = serial});
    }
    // One box (IOX-MODEL-C, 10001 unless told), the main panel loaded on it, the log empty.
    panels::TestForm* loadPanel(sim::BoxConfig config = {})
    {
        box = bus.addBox(std::move(config));
        panels::TestForm* panel = panels::loadMainPanel();
        bus.clearLog();
        return panel;
    }

    // The requests since the last clearLog(): on one handle, or (0) to any box.
    Requests requests(HidHandle handle = 0) const
    {
        Requests out;
        for (const auto& entry : bus.log())
            if (handle == 0 || entry.handle == handle)
                out.push_back(describe(entry.report));
        return out;
    }
    static QColor colourOf(const QWidget* widget) { return ui::backgroundOf(*widget); }
    // The colours of widgets 0 to n-1 as '1' (high), '0' (low) or '?'.
    static std::string levels(const std::function<QWidget*(int)>& widget, int n = 8)
    {
        std::string out;
        for (int i = 0; i < n; ++i) {
            const QColor c = colourOf(widget(i));
            out += c == ui::kHigh ? '1' : c == ui::kLow ? '0' : '?';
        }
        return out;
    }

    sim::SimBackend bus;
    std::size_t box = 0;
    // What the windows exchange with the boxes, as it happens, for a test that sets it.
    boxes::TraceSink watch;
    boxes::TracingBackend watched{bus, [this](boxes::Direction direction, const std::string& name, const Report& report) {
        if (watch)
            watch(direction, name, report);
    }};
    RecordingServices services;
};

// The main panel loaded on one model-C box, the request log empty.
class LoadedPanel : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        form = loadPanel();
        ASSERT_NE(form, nullptr);
    }
    panels::TestForm* form = nullptr;
};

}  // namespace iox::testing
