#pragma once
// What the main panel (TestForm) and the compact panel (IO4) share: the frame, the
// check boxes drawn as toggle buttons and their click colouring, the status squares, the
// identity column and the legend, the idle state and the poll, the pulse-width
// conversion, and the serial-output frame "Frame6" with its "Send" and "Set".

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "boxes/models.h"

class QAbstractButton;
class QComboBox;
class QLineEdit;

namespace iox {
class USB_IO;
}

namespace iox::panels {

// Send indicator colours.
inline const QColor kIndicatorDesign{0xFF, 0xFF, 0x80};
inline const QColor kIndicatorBusy{0xFF, 0xFF, 0x00};
inline const QColor kIndicatorFailed{0xFF, 0x00, 0x00};
inline const QColor kFirmwareFlag{0xC0, 0x00, 0x00};   // "(fw)": design colour, newer firmware
inline const QColor kFirmwareQuiet{0x40, 0x40, 0x40};  // "(fw)": nothing to update

// Frame captions: MS Sans Serif 8.25 pt bold, navy.
QFont frameCaptionFont();

// A frame: a border with its caption drawn into the top edge (VB's Frame), or neither.
// Its children are placed relative to it and keep their own fonts and colours.
class Frame : public QWidget {
public:
    Frame(QWidget* parent, const QString& caption, const QRect& geometry, bool border = true);
    const QString& caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    bool m_border;
};

// A label that reports clicks (the "(fw)" label).
class ClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The filled circle "Shape2": fill colour only.
class Indicator : public QWidget {
public:
    Indicator(QWidget* parent, const QRect& geometry, const QColor& fill);
    // Repaints only when the colour changes.
    void setFillColour(const QColor& colour);
    const QColor& fillColour() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};

// A plain label in the window-text colour (the default), MS Sans Serif 8.25 pt.
QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font = {});
// A label in navy on the window colour (frame titles, identity captions).
QLabel* makeNavyLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font);
// A status square: bordered, centred, bold, background #FF8080 (the design state).
QLabel* makeStatusLabel(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font);
// A legend swatch: a bordered square of the given colour.
QLabel* makeSwatch(QWidget* parent, const QRect& geometry, const QColor& colour);

// A check box drawn as a toggle button. Its face is flat and exactly its background colour
// (the style's own gradients and hover shades would tint it), with a raised or, when set,
// sunken edge, its caption and the focus mark; keyboard and mouse work as on any button.
class ToggleSwitch : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A toggle switch, #FF8080 in the design state. Its click handler is connected to
// `toggled`, so it runs for every change of the value, the program's included, and never
// for a value set to itself.
QPushButton* makeToggle(QWidget* parent, const QString& caption, const QRect& geometry);
void onToggle(QPushButton& box, std::function<void()> handler);

// The first thing every check-box click does: colour the box for its value (#00FF00 set,
// #FF8080 clear); returns the value, 1 or 0, for the command.
std::int16_t colourForValue(QAbstractButton& box);

// A relay's check box clicked: coloured, then Set_Relay with relay `index` and its value.
void switchRelay(USB_IO& io, QAbstractButton& box, int index);
// An output line's check box clicked: coloured, then Set_TTLBit on line port + index.
void switchLine(USB_IO& io, QAbstractButton& box, char port, int index);

// The poll's colouring: label i gets #00FF00 when bit i of `byte` is set, else #FF8080.
// A label whose colour does not change is not touched.
void showBits(std::span<QLabel* const> labels, std::uint8_t byte);

// The panel's poll, one tick: port A, port B and the relay byte, each shown on its squares
// (an empty span shows nothing). The tick's exchanges are bounded by kPollBound instead of
// the usual second, and a tick whose first read fails skips the other two (they read 0),
// so that a box that stops answering leaves the panel taking clicks.
inline constexpr std::chrono::milliseconds kPollBound{100};
void pollStatus(USB_IO& io, std::span<QLabel* const> portA, std::span<QLabel* const> portB,
                std::span<QLabel* const> relays);

// The idle state every load puts the box in, matching the design state of the switches:
// both ports outputs, relays and lines off.
void writeIdleState(USB_IO& io);

// The identity column: "Model Name:" (Label5), the model (Label6, design caption
// `designModel`), "Serial Number:" (Label7) and the serial number (Label8).
struct IdentityBlock {
    QLabel* label5;
    QLabel* label6;
    QLabel* label7;
    QLabel* label8;
};
IdentityBlock makeIdentityBlock(QWidget* window, const QString& designModel);

// One column of a legend, in twips: an underlined heading, then the #FF8080 swatch and its
// text, then the #00FF00 swatch and its text.
struct LegendColumn {
    const char* heading;
    QRect headingAt;
    QRect lowSwatch;
    const char* lowText;
    QRect lowTextAt;
    QRect highSwatch;
    const char* highText;
    QRect highTextAt;
};
// Both legends under their design names: Label9(2) and Label9(5) the headings, Label9(0),
// (1) the digital texts, Label9(4), (3) the relay or 24 V texts; Label444(0) to (3) the
// swatches, low before high.
void makeLegend(QWidget* parent, const LegendColumn& digital, const LegendColumn& outputs,
                std::array<QLabel*, 6>& label9, std::array<QLabel*, 4>& label444);

// Line name from port letter and bit index: ('B', 3) gives "B3".
std::string lineName(char port, int index);

// The leading number of a text, read as BASIC's Val reads it: blanks, tabs and line feeds ignored
// anywhere, an optional sign, digits with one decimal point, an optional exponent (E or
// D), or &H / &O for hexadecimal / octal; 0 when there is no leading number.
double leadingNumber(const QString& text);
// The pulse width of a "Set": the leading number rounded to the nearest whole number,
// halves to the even neighbour. Nothing when the value lies outside the 16-bit signed
// range (it must not be wrapped; the caller refuses it).
std::optional<std::int16_t> pulseWidthFromText(const QString& text);

// The serial-output frame "Frame6", on the main panel and on IO4 alike.
class SerialOutFrame : public Frame {
public:
    // Which device the frame talks to (the shared object or IO4's own).
    using DeviceAccess = std::function<USB_IO&()>;
    // What "Send" does first for each chosen line: set its output check box to 0 (port A
    // when `portA`).
    using ClearLine = std::function<void(bool portA, int bit)>;

    SerialOutFrame(QWidget* parent, const QRect& geometry, DeviceAccess device, ClearLine clearLine);

    QLineEdit* Text1() const { return m_text1; }
    QLineEdit* Text2() const { return m_text2; }
    QPushButton* Command1() const { return m_command1; }
    QPushButton* Command2() const { return m_command2; }
    QComboBox* Combo1(int index) const { return m_combo1.at(static_cast<std::size_t>(index)); }
    Indicator* Shape2() const { return m_shape2; }
    QLabel* Label1(int index) const;  // the frame's captions, indices 2 through 6

    // Fills the three lists with `items` and selects the given entries (-1: none).
    void setLines(const QStringList& items, int clock, int data, int latchEnable);
    // The lines the model can drive, its three default lines selected; none for a box of no
    // known model (nullptr).
    void setLinesOf(const boxes::Model* model);

    void Command1_Click();  // "Send"
    void Command2_Click();  // "Set"

private:
    DeviceAccess m_device;
    ClearLine m_clearLine;
    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QPushButton* m_command1;
    QPushButton* m_command2;
    std::array<QComboBox*, 3> m_combo1{};
    std::array<QLabel*, 5> m_label1{};  // Label1(2) to Label1(6)
    Indicator* m_shape2;
};

}  // namespace iox::panels
