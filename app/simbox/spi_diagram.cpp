#include "spi_diagram.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "panels/ui_services.h"

namespace iox::simbox {

namespace {

constexpr int kLabelWidth = 78;  // room for "Clock B0" left of the traces
constexpr int kTop = 16;         // room for the bit values above the traces
constexpr int kRowHeight = 30;
constexpr int kSwing = 18;  // height between a trace's low and high level
constexpr int kMaxStep = 14;
constexpr int kMinStep = 2;

const char* const kLineTitles[3] = {"Clock", "Data", "LE"};

}  // namespace

SpiDiagram::SpiDiagram(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(kTop + 3 * kRowHeight + 4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SpiDiagram::setWord(SpiWaveform waveform, const std::array<QString, 3>& lineNames)
{
    m_waveform = std::move(waveform);
    m_names = lineNames;
    m_hasWord = true;
    update();
}

void SpiDiagram::clear()
{
    m_waveform = {};
    m_names = {};
    m_hasWord = false;
    update();
}

QSize SpiDiagram::sizeHint() const
{
    // Room for a full 56-bit word at a readable step.
    return {kLabelWidth + (2 * 56 + 4) * 5 + 8, kTop + 3 * kRowHeight + 4};
}

int SpiDiagram::stepWidth() const
{
    const std::size_t steps = std::max<std::size_t>(m_waveform.steps(), 1);
    const int room = std::max(width() - kLabelWidth - 8, 0);
    return std::clamp(room / static_cast<int>(steps), kMinStep, kMaxStep);
}

void SpiDiagram::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(ui::plainFont());
    if (!m_hasWord) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("No serial word sent yet"));
        return;
    }
    const std::array<const std::vector<bool>*, 3> lines{&m_waveform.clock, &m_waveform.data, &m_waveform.le};
    for (int row = 0; row < 3; ++row) {
        const QString& name = m_names[static_cast<std::size_t>(row)];
        const QString label = QString::fromLatin1(kLineTitles[row]) + ' ' + (name.isEmpty() ? QStringLiteral("(own)") : name);
        drawLine(painter, row, *lines[static_cast<std::size_t>(row)], label);
    }
    drawBitValues(painter);
}

void SpiDiagram::drawLine(QPainter& painter, int row, const std::vector<bool>& levels, const QString& label) const
{
    const int low = kTop + row * kRowHeight + kSwing + 4;
    const int high = low - kSwing;
    painter.setPen(ui::kNavy);
    painter.drawText(QRect(2, high, kLabelWidth - 6, kSwing), Qt::AlignLeft | Qt::AlignVCenter, label);

    const int step = stepWidth();
    QPolygon trace;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const int x = kLabelWidth + static_cast<int>(i) * step;
        const int y = levels[i] ? high : low;
        trace << QPoint(x, y) << QPoint(x + step, y);
    }
    painter.setPen(QPen(ui::kNavy, 2));
    painter.drawPolyline(trace);
}

void SpiDiagram::drawBitValues(QPainter& painter) const
{
    // Each bit's value above the clock's high half that samples it, with a dotted guide.
    const int step = stepWidth();
    const int bottom = kTop + 3 * kRowHeight;
    for (std::size_t i = 0; i + 1 < m_waveform.clock.size(); ++i) {
        if (m_waveform.clock[i] || !m_waveform.clock[i + 1])
            continue;
        const int x = kLabelWidth + static_cast<int>(i + 1) * step;
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        painter.drawLine(x, kTop, x, bottom);
        if (step >= 6) {
            painter.setPen(Qt::black);
            painter.drawText(QRect(x, 0, step, kTop), Qt::AlignCenter, m_waveform.data[i + 1] ? "1" : "0");
        }
    }
}

}  // namespace iox::simbox
