#pragma once
// Timing diagram of the last serial word a simulated box shifted out: its clock, data
// and LE lines over time, drawn from an SpiWaveform.

#include <QString>
#include <QWidget>

#include <array>
#include <vector>

#include "app/simbox/spi_waveform.h"

namespace iox::simbox {

class SpiDiagram : public QWidget {
public:
    explicit SpiDiagram(QWidget* parent = nullptr);

    // Shows a word; the names label the three lines ("B0", or empty for the box's own lines).
    void setWord(SpiWaveform waveform, const std::array<QString, 3>& lineNames);
    void clear();

    bool hasWord() const { return m_hasWord; }
    const SpiWaveform& waveform() const { return m_waveform; }
    const std::array<QString, 3>& lineNames() const { return m_names; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int stepWidth() const;
    void drawLine(QPainter& painter, int row, const std::vector<bool>& levels, const QString& label) const;
    void drawBitValues(QPainter& painter) const;

    SpiWaveform m_waveform;
    std::array<QString, 3> m_names;
    bool m_hasWord = false;
};

}  // namespace iox::simbox
