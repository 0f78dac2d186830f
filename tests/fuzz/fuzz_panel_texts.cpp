// Fuzzes the panels' texts: the pulse width "Set" reads, the serial-line lists and the word
// "Send" sends. Nothing typed may crash the panel, wrap a number or reach a request but encoded.
// Input: three bytes picking list entries, then 0xFF-separated fields: a number text, the
// pulse-width box's text, the binary word, the list items.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <cstring>

#include "device/commands.h"
#include "device/usb_io.h"
#include "panels/panel_parts.h"
#include "panels/ui_services.h"
#include "fuzz_support.h"
#include "tests/support/recording_services.h"

namespace {

using iox::panels::leadingNumber;
using iox::panels::pulseWidthFromText;

// Echoes every request and keeps those of one input, without allocating once warm (for libFuzzer's leak scan).
class EchoBox : public iox::HidBackend {
public:
    EchoBox() { sent.reserve(16); }
    std::vector<iox::HidInterface> enumerate() override { return {{"echo", iox::kBoxVendorId, iox::kBoxProductId}}; }
    iox::HidHandle open(const std::string&) override { return 1; }
    bool write(iox::HidHandle, const iox::Report& report) override
    {
        if (sent.size() < sent.capacity())
            sent.push_back(report);
        m_answer = iox::Report{0, report[1]};
        return true;
    }
    bool read(iox::HidHandle, iox::Report& report, std::chrono::milliseconds) override
    {
        report = m_answer;
        return std::exchange(m_answer[1], 0) != 0;
    }
    void close(iox::HidHandle) override {}
    std::vector<iox::Report> sent;

private:
    iox::Report m_answer{};
};

// `cleared`: the bits whose check box the frame cleared.
struct World {
    EchoBox box;
    iox::testing::RecordingServices services;
    iox::USB_IO io{box};
    std::vector<int> cleared;
    iox::panels::SerialOutFrame* frame = nullptr;

    World()
    {
        cleared.reserve(3);
        io.setExchangeTimeout(std::chrono::milliseconds(20));
        check(io.Connect() == 1);
        frame = new iox::panels::SerialOutFrame(nullptr, QRect(0, 0, 360, 180), [this]() -> iox::USB_IO& { return io; },
                                                [this](bool, int bit) { cleared.push_back(bit); });
    }
};

void checkNumber(const QString& text)
{
    const double value = leadingNumber(text);
    check(!std::isnan(value));
    // Blanks, tabs and line feeds count nowhere; a character that cannot continue a number ends it.
    QString squeezed = text;
    squeezed.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    check(leadingNumber(squeezed) == value && leadingNumber(text + QStringLiteral("z")) == value);
    const std::string ascii = squeezed.toStdString();
    if (!ascii.empty() && ascii.size() <= 15 && ascii.find_first_not_of("0123456789") == std::string::npos)
        check(value == std::strtod(ascii.c_str(), nullptr));
}

void checkSet(World& world, const QString& text)
{
    world.frame->Text2()->setText(text);
    const QString shown = world.frame->Text2()->text();
    check(shown.size() <= 3);
    const auto width = pulseWidthFromText(shown);
    world.box.sent.clear();
    const int beeps = world.services.beeps;
    world.frame->Command2()->click();
    const auto& log = world.box.sent;
    if (!width)
        return check(log.empty() && world.services.beeps == beeps + 1);
    const auto clamped = static_cast<std::uint8_t>(std::clamp<int>(*width, 0, 255));
    check(world.services.beeps == beeps && log.size() == 1 && log[0] == iox::Report{0, iox::cmd::SetSpiPulseWidth, clamped});
}

void checkSend(World& world, const QStringList& items, const std::uint8_t* picks, const QString& word)
{
    const int n = static_cast<int>(items.size());
    world.frame->setLines(items, picks[0] % (n + 2) - 1, picks[1] % (n + 2) - 1, picks[2] % (n + 2) - 1);
    world.frame->Text1()->setText(word);
    std::string names[3];
    for (int i = 0; i < 3; ++i) {
        const QString entry = world.frame->Combo1(i)->currentText();
        check(entry.isEmpty() || items.contains(entry));
        names[i] = entry.toLatin1().toStdString();
    }
    const std::string bits = world.frame->Text1()->text().toLatin1().toStdString();
    check(bits.size() <= 32);
    world.box.sent.clear();
    world.cleared.clear();
    world.frame->Command1()->click();
    // Each chosen line's check box is cleared first, with a bit that names a line.
    check(world.cleared.size() == 3 && std::ranges::all_of(world.cleared, [](int bit) { return bit >= 0 && bit <= 9; }));
    const auto& log = world.box.sent;
    if (names[0].empty() || names[1].empty() || names[2].empty())
        return check(log.empty() && world.frame->Shape2()->fillColour() == iox::panels::kIndicatorFailed);
    check(log.size() == 1 && log[0][1] == iox::cmd::SpiOut && log[0][8] == bits.size() &&
          world.frame->Shape2()->fillColour() == iox::ui::kHigh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    World& world = fuzzWorld<World>();
    const QList<QByteArray> parts = QByteArray(reinterpret_cast<const char*>(data) + 3, size - 3).split('\xFF');
    const auto text = [&](qsizetype i) { return i < parts.size() ? QString::fromUtf8(parts[i]) : QString(); };
    checkNumber(text(0));
    // The same bytes taken as UTF-16, lone surrogates and all.
    QString units(parts[0].size() / 2, QChar());
    std::memcpy(units.data(), parts[0].constData(), units.size() * 2);
    checkNumber(units);
    checkSet(world, text(1));
    QStringList items;
    for (qsizetype i = 3; i < parts.size() && items.size() < 16; ++i)
        items << text(i);
    checkSend(world, items, data, text(2));
    world.services.events.clear();
    return 0;
}
