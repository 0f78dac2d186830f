#include "box_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/simbox/spi_diagram.h"
#include "app/simbox/spi_waveform.h"
#include "device/sim/sim_backend.h"
#include "panels/ui_services.h"

namespace iox::simbox {

namespace {

constexpr char kPortLetter[2] = {'A', 'B'};

bool bitOf(std::uint8_t byte, int bit) { return ((byte >> bit) & 1u) != 0; }

QLabel* makeValue(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString pulsesText(const std::vector<sim::Pulse>& pulses)
{
    if (pulses.empty())
        return QStringLiteral("none yet");
    QStringList newestFirst;
    for (auto it = pulses.rbegin(); it != pulses.rend() && newestFirst.size() < static_cast<qsizetype>(kPulsesShown); ++it)
        newestFirst << QStringLiteral("%1 %2 ms").arg(QString::fromStdString(it->line)).arg(it->ms);
    QString text = newestFirst.join(QStringLiteral(", "));
    if (pulses.size() > kPulsesShown)
        text += QStringLiteral("  (%1 in all)").arg(pulses.size());
    return text;
}

QString wordText(const sim::SpiWord& word, std::size_t count)
{
    QString digits;
    for (const std::uint8_t bit : word.bits)
        digits += QChar(u'0' + (bit % 10));
    QString text = QStringLiteral("\"%1\", %2 bits").arg(digits).arg(word.bits.size());
    if (word.triggered)
        text += QStringLiteral(", on the box's own lines, trigger %1").arg(word.trigger ? "on" : "off");
    else
        text += QStringLiteral(", clock %1, data %2, LE %3")
                    .arg(QString::fromStdString(word.clock), QString::fromStdString(word.data),
                         QString::fromStdString(word.le));
    if (count > 1)
        text += QStringLiteral("  (%1 words sent)").arg(count);
    return text;
}

}  // namespace

// ---- construction --------------------------------------------------------------------------

BoxPage::BoxPage(sim::SimBackend& bus, std::size_t box, QWidget* parent) : QWidget(parent), m_bus(bus), m_box(box)
{
    buildControls();
    refresh();
}

void BoxPage::buildControls()
{
    auto* layout = new QVBoxLayout(this);

    auto* identity = new QFormLayout;
    m_model = makeValue(this);
    m_serial = makeValue(this);
    m_firmware = makeValue(this);
    m_state = makeValue(this);
    identity->addRow(QStringLiteral("Model:"), m_model);
    identity->addRow(QStringLiteral("Serial number:"), m_serial);
    identity->addRow(QStringLiteral("Firmware:"), m_firmware);
    identity->addRow(QStringLiteral("State:"), m_state);
    layout->addLayout(identity);
    layout->addWidget(buildFaultRow());

    layout->addWidget(buildPortRow(kPortA));
    layout->addWidget(buildPortRow(kPortB));
    layout->addWidget(buildRelayRow());

    auto* output = new QGroupBox(QStringLiteral("Pulses and serial output"), this);
    auto* form = new QFormLayout(output);
    m_pulseWidth = makeValue(output);
    m_pulses = makeValue(output);
    m_word = makeValue(output);
    m_word->setWordWrap(true);
    m_word->setText(QStringLiteral("none yet"));
    form->addRow(QStringLiteral("Pulse width:"), m_pulseWidth);
    form->addRow(QStringLiteral("Last pulses:"), m_pulses);
    form->addRow(QStringLiteral("Last serial word:"), m_word);
    m_diagram = new SpiDiagram(output);
    form->addRow(m_diagram);
    layout->addWidget(output);
    layout->addStretch();
}

QWidget* BoxPage::buildPortRow(int port)
{
    auto* group = new QGroupBox(QStringLiteral("Port %1").arg(kPortLetter[port]), this);
    auto* row = new QHBoxLayout(group);
    m_direction[static_cast<std::size_t>(port)] = makeValue(group);
    m_direction[static_cast<std::size_t>(port)]->setMinimumWidth(50);
    row->addWidget(m_direction[static_cast<std::size_t>(port)]);
    for (int bit = 0; bit < 8; ++bit) {
        auto* line = new QPushButton(QStringLiteral("%1%2").arg(kPortLetter[port]).arg(bit), group);
        line->setCheckable(true);
        line->setFixedSize(34, 24);
        // Output lines are disabled switches; their names must stay readable.
        QPalette palette = line->palette();
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::black);
        line->setPalette(palette);
        connect(line, &QPushButton::clicked, this, [this, port, bit](bool high) { inputLineClicked(port, bit, high); });
        m_lines[static_cast<std::size_t>(port)][static_cast<std::size_t>(bit)] = line;
        row->addWidget(line);
    }
    row->addStretch();
    return group;
}

QWidget* BoxPage::buildRelayRow()
{
    auto* group = new QGroupBox(QStringLiteral("Relays and 24 V outputs"), this);
    auto* row = new QHBoxLayout(group);
    for (int relay = 0; relay < 8; ++relay) {
        auto* indicator = new QLabel(QString::number(relay), group);
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setFixedSize(34, 24);
        indicator->setFrameShape(QFrame::Box);
        m_relays[static_cast<std::size_t>(relay)] = indicator;
        row->addWidget(indicator);
    }
    row->addStretch();
    return group;
}

QWidget* BoxPage::buildFaultRow()
{
    auto* group = new QGroupBox(QStringLiteral("Faults"), this);
    auto* row = new QHBoxLayout(group);
    const char* const captions[] = {"normal", "unplugged", "silent", "answering late by"};
    for (std::size_t i = 0; i < m_faults.size(); ++i) {
        m_faults[i] = new QRadioButton(QString::fromLatin1(captions[i]), group);
        row->addWidget(m_faults[i]);
    }
    m_faults[0]->setChecked(true);  // before the handlers: the box is left as it is
    for (QRadioButton* fault : m_faults)
        connect(fault, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                applyFault();
        });
    m_lateDelay = new QSpinBox(group);
    m_lateDelay->setRange(1, 5000);
    m_lateDelay->setValue(300);
    m_lateDelay->setSuffix(QStringLiteral(" ms"));
    connect(m_lateDelay, &QSpinBox::valueChanged, this, &BoxPage::applyFault);
    row->addWidget(m_lateDelay);
    row->addStretch();
    return group;
}

// ---- handlers ------------------------------------------------------------------------------

void BoxPage::applyFault()
{
    const auto chosen = [this](Fault fault) { return faultButton(fault)->isChecked(); };
    sim::Faults& faults = m_bus.faults(m_box);
    faults.silent = chosen(Fault::Silent);
    faults.answerDelay = chosen(Fault::Late) ? std::chrono::milliseconds(m_lateDelay->value()) : std::chrono::milliseconds(0);
    // Plugged in again, the box is found by a new connection only; old handles stay dead.
    if (chosen(Fault::Unplugged) && m_bus.present(m_box))
        m_bus.vanish(m_box);
    else if (!chosen(Fault::Unplugged) && !m_bus.present(m_box))
        m_bus.reappear(m_box);
    refresh();
}

void BoxPage::inputLineClicked(int port, int bit, bool high)
{
    sim::SimBox& box = m_bus.box(m_box);
    const bool output = port == kPortA ? box.portAIsOutput() : box.portBIsOutput();
    if (!output) {  // the port may have turned to output since the last refresh
        // A port set as input reads back the levels applied to it.
        std::uint8_t levels = port == kPortA ? box.levelA() : box.levelB();
        const auto mask = static_cast<std::uint8_t>(1u << bit);
        levels = high ? static_cast<std::uint8_t>(levels | mask) : static_cast<std::uint8_t>(levels & ~mask);
        if (port == kPortA)
            box.setInputA(levels);
        else
            box.setInputB(levels);
    }
    refreshPort(port);
}

// ---- state to screen -----------------------------------------------------------------------

void BoxPage::refresh()
{
    const sim::SimBox& box = m_bus.box(m_box);
    const sim::BoxConfig& config = box.config();
    m_model->setText(QString::fromStdString(config.model));
    m_serial->setText(QString::fromStdString(config.serial));
    m_firmware->setText(QStringLiteral("%1%2 (level %3)")
                            .arg(QChar(config.firmware[4]))
                            .arg(QChar(config.firmware[5]))
                            .arg(config.firmware[0]));
    if (!m_bus.present(m_box))
        m_state->setText(QStringLiteral("unplugged"));
    else if (box.inBootloader())
        m_state->setText(QStringLiteral("in its bootloader, receiving a firmware image"));
    else if (m_bus.faults(m_box).silent)
        m_state->setText(QStringLiteral("running, answering nothing"));
    else if (const auto late = m_bus.faults(m_box).answerDelay; late.count() > 0)
        m_state->setText(QStringLiteral("running, answering %1 ms late").arg(late.count()));
    else
        m_state->setText(QStringLiteral("running"));

    refreshPort(kPortA);
    refreshPort(kPortB);
    refreshRelays();
    m_pulseWidth->setText(QStringLiteral("%1 \u00b5s").arg(box.pulseWidth()));
    refreshPulses();
    refreshWord();
}

void BoxPage::refreshPort(int port)
{
    const sim::SimBox& box = m_bus.box(m_box);
    const bool output = port == kPortA ? box.portAIsOutput() : box.portBIsOutput();
    const std::uint8_t level = port == kPortA ? box.levelA() : box.levelB();
    m_direction[static_cast<std::size_t>(port)]->setText(output ? QStringLiteral("output") : QStringLiteral("input"));
    for (int bit = 0; bit < 8; ++bit) {
        QPushButton* line = lineButton(port, bit);
        const bool high = bitOf(level, bit);
        // An output line shows what the box drives; an input line is the operator's switch.
        line->setEnabled(!output);
        line->setChecked(high);
        line->setToolTip(output ? QStringLiteral("Driven by the box") : QStringLiteral("Click to switch this input"));
        ui::setBackground(*line, high ? ui::kHigh : ui::kLow);
    }
}

void BoxPage::refreshRelays()
{
    const std::uint8_t relays = m_bus.box(m_box).relays();
    for (int relay = 0; relay < 8; ++relay)
        ui::setBackground(*relayIndicator(relay), bitOf(relays, relay) ? ui::kHigh : ui::kLow);
}

void BoxPage::refreshPulses() { m_pulses->setText(pulsesText(m_bus.box(m_box).pulses())); }

void BoxPage::refreshWord()
{
    const auto& words = m_bus.box(m_box).spiWords();
    if (words.size() == m_wordsShown)
        return;  // the waveform is only rebuilt when a word arrives
    m_wordsShown = words.size();
    if (words.empty()) {
        m_word->setText(QStringLiteral("none yet"));
        m_diagram->clear();
        return;
    }
    const sim::SpiWord& last = words.back();
    m_word->setText(wordText(last, words.size()));
    m_diagram->setWord(spiWaveform(last.bits), {QString::fromStdString(last.clock), QString::fromStdString(last.data),
                                                QString::fromStdString(last.le)});
}

}  // namespace iox::simbox
