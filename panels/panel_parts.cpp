#include "panel_parts.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "boxes/state.h"
#include "device/usb_io.h"
#include "ui_services.h"

namespace iox::panels {

QFont frameCaptionFont() { return ui::designFont(8.25, true); }

// ---- frame, clickable label, indicator ------------------------------------------------

Frame::Frame(QWidget* parent, const QString& caption, const QRect& geometry, bool border)
    : QWidget(parent), m_caption(caption), m_border(border)
{
    setGeometry(geometry);
}

void Frame::paintEvent(QPaintEvent*)
{
    if (!m_border && m_caption.isEmpty())
        return;
    QPainter painter(this);
    const QFont font = frameCaptionFont();
    const QFontMetrics metrics(font);
    const int lineY = m_caption.isEmpty() ? 0 : metrics.height() / 2;
    if (m_border) {
        // An etched line, as the design's frames have it.
        const QRect box(0, lineY, width() - 2, height() - lineY - 2);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawRect(box);
        painter.setPen(Qt::white);
        painter.drawRect(box.translated(1, 1));
    }
    if (!m_caption.isEmpty()) {
        const int left = 8;
        const QRect text(left, 0, metrics.horizontalAdvance(m_caption) + 2, metrics.height());
        painter.fillRect(text, ui::backgroundOf(*this));
        painter.setFont(font);
        painter.setPen(ui::kNavy);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, m_caption);
    }
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
        onClick();
}

Indicator::Indicator(QWidget* parent, const QRect& geometry, const QColor& fill) : QWidget(parent), m_fill(fill)
{
    setGeometry(geometry);
}

void Indicator::setFillColour(const QColor& colour)
{
    if (colour == m_fill)
        return;
    m_fill = colour;
    update();
}

void Indicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(m_fill);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

// ---- labels and toggles ---------------------------------------------------------------

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setFont(font == QFont() ? ui::plainFont() : font);
    return label;
}

QLabel* makeNavyLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font)
{
    QLabel* label = makeLabel(parent, text, geometry, font);
    ui::setTextColour(*label, ui::kNavy);
    return label;
}

QLabel* makeStatusLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font)
{
    QLabel* label = makeLabel(parent, text, geometry, font);
    label->setFrameShape(QFrame::Box);
    label->setAlignment(Qt::AlignCenter);
    ui::setBackground(*label, ui::kLow);
    return label;
}

QLabel* makeSwatch(QWidget* parent, const QRect& geometry, const QColor& colour)
{
    QLabel* label = makeLabel(parent, QString(), geometry);
    label->setFrameShape(QFrame::Box);
    ui::setBackground(*label, colour);
    return label;
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect face = rect();
    painter.fillRect(face, palette().color(QPalette::Button));  // the background colour, exactly
    // A two-pixel edge, light above and left when raised, the other way round when set.
    const QColor light = Qt::white, shadow(0x80, 0x80, 0x80), dark = Qt::black;
    const bool down = isDown() || isChecked();
    const auto edge = [&](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    };
    edge(face, down ? dark : light, down ? light : dark);
    const QColor faceColour = palette().color(QPalette::Button);
    edge(face.adjusted(1, 1, -1, -1), down ? shadow : faceColour, down ? faceColour : shadow);
    const QRect caption = face.adjusted(3, 3, -3, -3).translated(down ? 1 : 0, down ? 1 : 0);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(caption, Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = face.adjusted(4, 4, -4, -4);
        focus.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

QPushButton* makeToggle(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* box = new ToggleSwitch(caption, parent);
    box->setCheckable(true);
    box->setGeometry(geometry);
    box->setFont(ui::plainFont());
    box->setFocusPolicy(Qt::TabFocus);
    ui::setBackground(*box, ui::kLow);
    return box;
}

void onToggle(QPushButton& box, std::function<void()> handler)
{
    QObject::connect(&box, &QPushButton::toggled, &box, [handler = std::move(handler)](bool) { handler(); });
}

std::int16_t colourForValue(QAbstractButton& box)
{
    const std::int16_t value = box.isChecked() ? 1 : 0;
    ui::setBackground(box, value ? ui::kHigh : ui::kLow);
    return value;
}

// A status square's palette holds both of its colours, low as Window and high as Base; the
// poll switches which one fills it. Switching the role costs a fraction of a palette change,
// which matters when all 24 squares of a tick change at once.
void showStatus(QLabel& square, bool high)
{
    const QPalette::ColorRole role = high ? QPalette::Base : QPalette::Window;
    const QPalette& palette = square.palette();
    if (palette.color(QPalette::Window) != ui::kLow || palette.color(QPalette::Base) != ui::kHigh) {
        QPalette both = palette;
        both.setColor(QPalette::Window, ui::kLow);
        both.setColor(QPalette::Base, ui::kHigh);
        square.setPalette(both);
    }
    square.setAutoFillBackground(true);
    if (square.backgroundRole() != role)
        square.setBackgroundRole(role);
}

void showBits(std::span<QLabel* const> labels, std::uint8_t byte)
{
    for (std::size_t i = 0; i < labels.size(); ++i)
        showStatus(*labels[i], (byte & (1u << i)) != 0);
}

void pollStatus(USB_IO& io, std::span<QLabel* const> portA, std::span<QLabel* const> portB,
                std::span<QLabel* const> relays)
{
    // A, B and the relays, whatever the model; a read that goes unanswered ends the tick's
    // reads, and what it did not read shows as 0.
    const std::chrono::milliseconds usual = io.exchangeTimeout();
    io.setExchangeTimeout(kPollBound);
    const boxes::State state = boxes::readState(io, boxes::Parts{});
    io.setExchangeTimeout(usual);
    showBits(portA, state.a);
    showBits(portB, state.b);
    showBits(relays, state.relays);
}

void writeIdleState(USB_IO& io)
{
    io.Set_ByteA_As_Output();
    io.Set_ByteB_As_Output();
    io.Set_RelayByte(0);
    io.Set_ByteA(0);
    io.Set_ByteB(0);
}

IdentityBlock makeIdentityBlock(QWidget* window, const QString& designModel)
{
    const QFont bold = ui::designFont(8.25, true);
    const QFont big = ui::designFont(12, true);
    IdentityBlock block{};
    block.label5 = makeLabel(window, QStringLiteral("Model Name:"), ui::twipsRect(6360, 360, 2655, 255), bold);
    block.label6 = makeNavyLabel(window, designModel, ui::twipsRect(6360, 600, 2655, 375), big);
    block.label7 = makeLabel(window, QStringLiteral("Serial Number:"), ui::twipsRect(6360, 1080, 2655, 255), bold);
    block.label8 = makeNavyLabel(window, QString(), ui::twipsRect(6360, 1320, 2655, 375), big);
    for (QLabel* identity : {block.label6, block.label8}) {
        identity->setFrameShape(QFrame::Box);
        identity->setAlignment(Qt::AlignCenter);
    }
    return block;
}

void makeLegend(QWidget* parent, const LegendColumn& digital, const LegendColumn& outputs,
                std::array<QLabel*, 6>& label9, std::array<QLabel*, 4>& label444)
{
    const QFont heading = ui::designFont(8.25, true, true);
    const auto column = [&](const LegendColumn& c, std::size_t headingAt, std::size_t swatchAt, std::size_t lowAt,
                            std::size_t highAt) {
        label9[headingAt] = makeLabel(parent, QString::fromLatin1(c.heading), c.headingAt, heading);
        label444[swatchAt] = makeSwatch(parent, c.lowSwatch, ui::kLow);
        label444[swatchAt + 1] = makeSwatch(parent, c.highSwatch, ui::kHigh);
        label9[lowAt] = makeLabel(parent, QString::fromLatin1(c.lowText), c.lowTextAt);
        label9[highAt] = makeLabel(parent, QString::fromLatin1(c.highText), c.highTextAt);
    };
    column(digital, 2, 0, 0, 1);
    column(outputs, 5, 2, 4, 3);
}

std::string lineName(char port, int index) { return std::string(1, port) + std::to_string(index); }

void switchRelay(USB_IO& io, QAbstractButton& box, int index)
{
    std::int16_t value = colourForValue(box);
    std::int16_t relay = static_cast<std::int16_t>(index);
    io.Set_Relay(relay, value);
}

void switchLine(USB_IO& io, QAbstractButton& box, char port, int index)
{
    const std::int16_t value = colourForValue(box);
    io.Set_TTLBit(lineName(port, index), value);
}

// ---- pulse width -----------------------------------------------------------------------

double leadingNumber(const QString& text)
{
    std::string s;
    for (const QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n')
            s += c.unicode() < 128 ? static_cast<char>(c.unicode()) : '?';

    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const bool hex = s[1] == 'H' || s[1] == 'h';
        std::size_t end = 2;
        while (end < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[end])) != 0
                                      : (s[end] >= '0' && s[end] <= '7')))
            ++end;
        if (end == 2)
            return 0;
        const unsigned long long raw = std::strtoull(s.substr(2, end - 2).c_str(), nullptr, hex ? 16 : 8);
        // VB reads &H and &O numbers as 16-bit, or 32-bit when they do not fit, signed.
        if (raw <= 0xFFFFull)
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw));
        if (raw <= 0xFFFFFFFFull)
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
        return static_cast<double>(raw);
    }

    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number += s[i++];
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent += s[j++];
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent += s[j++];
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

std::optional<std::int16_t> pulseWidthFromText(const QString& text)
{
    const double rounded = std::nearbyint(leadingNumber(text));  // ties to even
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

// ---- serial-output frame ---------------------------------------------------------------

SerialOutFrame::SerialOutFrame(QWidget* parent, const QRect& geometry, DeviceAccess device, ClearLine clearLine)
    : Frame(parent, QStringLiteral("Digital SPI Out "), geometry),
      m_device(std::move(device)),
      m_clearLine(std::move(clearLine))
{
    setObjectName(QStringLiteral("Frame6"));
    const QFont plain = ui::plainFont();
    const QFont bold = ui::designFont(8.25, true);

    m_label1[0] = makeLabel(this, QStringLiteral("Binary Word to Send:"), ui::twipsRect(240, 360, 2415, 255), bold);
    m_text1 = new QLineEdit(QStringLiteral("101011"), this);
    m_text1->setGeometry(ui::twipsRect(240, 600, 2415, 345));
    m_text1->setMaxLength(32);
    m_text1->setAlignment(Qt::AlignCenter);
    m_text1->setFont(plain);
    makeLabel(this, QStringLiteral("MSB"), ui::twipsRect(240, 960, 495, 255));
    makeLabel(this, QStringLiteral("LSB"), ui::twipsRect(2040, 960, 495, 255))->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_command1 = new QPushButton(QStringLiteral("Send"), this);
    m_command1->setGeometry(ui::twipsRect(600, 1320, 1575, 375));
    m_command1->setFont(bold);
    ui::setBackground(*m_command1, Qt::white);
    m_shape2 = new Indicator(this, ui::twipsRect(2280, 1400, 255, 255), kIndicatorDesign);

    m_label1[1] = makeLabel(this, QStringLiteral("Pulse width (us):"), ui::twipsRect(720, 1920, 1575, 255), bold);
    m_text2 = new QLineEdit(QStringLiteral("10"), this);
    m_text2->setGeometry(ui::twipsRect(720, 2160, 975, 255));
    m_text2->setMaxLength(3);
    m_text2->setAlignment(Qt::AlignCenter);
    m_text2->setFont(plain);
    m_command2 = new QPushButton(QStringLiteral("Set"), this);
    m_command2->setGeometry(ui::twipsRect(1750, 2160, 495, 255));
    m_command2->setFont(plain);
    ui::setBackground(*m_command2, Qt::white);

    static const char* const kListCaptions[] = {"Clock Bit:", "Data Bit:", "LE Bit:"};
    for (int i = 0; i < 3; ++i) {
        m_label1[2 + i] = makeLabel(this, QString::fromLatin1(kListCaptions[i]),
                                    ui::twipsRect(3360, 360 + 720 * i, 1335, 255), bold);
        auto* list = new QComboBox(this);  // not editable: a pick of its items only
        list->setGeometry(ui::twipsRect(3360, 600 + 720 * i, 1335, 315));
        list->setFont(plain);
        m_combo1[static_cast<std::size_t>(i)] = list;
    }

    QObject::connect(m_command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    QObject::connect(m_command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

QLabel* SerialOutFrame::Label1(int index) const { return m_label1.at(static_cast<std::size_t>(index - 2)); }

void SerialOutFrame::setLines(const QStringList& items, int clock, int data, int latchEnable)
{
    const int selection[] = {clock, data, latchEnable};
    for (std::size_t i = 0; i < m_combo1.size(); ++i) {
        m_combo1[i]->clear();
        m_combo1[i]->addItems(items);
        m_combo1[i]->setCurrentIndex(selection[i] < items.size() ? selection[i] : -1);
    }
}

void SerialOutFrame::setLinesOf(const boxes::Model* model)
{
    if (!model) {
        setLines({}, -1, -1, -1);
        return;
    }
    const std::vector<boxes::Line> choices = model->serialLineChoices();
    QStringList items;
    for (const auto& line : choices)
        items << QString::fromStdString(line.name());
    const auto indexOf = [&](const boxes::Line& line) {
        return static_cast<int>(std::find(choices.begin(), choices.end(), line) - choices.begin());
    };
    setLines(items, indexOf(model->serialLines[0]), indexOf(model->serialLines[1]), indexOf(model->serialLines[2]));
}

void SerialOutFrame::Command1_Click()
{
    // Drive the three chosen lines low through their check boxes.
    for (QComboBox* list : m_combo1) {
        const QString text = list->currentText();
        const int bit = text.size() >= 2 && text[1].isDigit() ? text[1].digitValue() : 0;
        m_clearLine(text.startsWith(u'A'), bit);
    }
    // Let pending events run, show yellow, and again so that it is painted.
    ui::services().processEvents();
    m_shape2->setFillColour(kIndicatorBusy);
    ui::services().processEvents();
    // The transfer, with the texts as they stand.
    const auto text = [](const QString& s) { return s.toLatin1().toStdString(); };
    const std::int16_t result = m_device().SPI_OUT(text(m_combo1[0]->currentText()), text(m_combo1[1]->currentText()),
                                                   text(m_combo1[2]->currentText()), text(m_text1->text()));
    m_shape2->setFillColour(result != 0 ? ui::kHigh : kIndicatorFailed);
}

void SerialOutFrame::Command2_Click()
{
    std::optional<std::int16_t> width = pulseWidthFromText(m_text2->text());
    if (!width) {
        // Outside the 16-bit range: refused, never wrapped.
        ui::services().beep();
        return;
    }
    m_device().Set_SPI_PulseWidth(*width);
}

}  // namespace iox::panels
