#pragma once
// IO4: the compact panel for "IOX-MODEL-B" boxes: two 24 V outputs, port-B
// lines B0 to B3, their status, and the serial-output frame. It owns its own USB_IO
// object, connected to SN_Selected by its load. Check-box handling, the poll, the identity
// column, the legend and the serial-output frame are the main panel's (panel_parts.h).
//
// Its controls by role:
//   24 V switches       Check1(0), Check1(1) in Frame1, captioned below by Label2(0), (1)
//   port-B switches     Check3(0..3), lines B0 to B3, in Frame5
//   status squares      Label4(0), (1) the 24 V outputs in Frame3(2), captioned below by
//                       Label2(2), (3); Label3(0..3) port B in Frame3(1)
//   serial output       Frame6: Text1, Command1 "Send", Shape2, Text2, Command2 "Set",
//                       Combo1(0..2)
//   legend              Label9(2) / Label9(5) headings, Label444(0..3) swatches,
//                       Label9(0), (1), (4), (3) their texts
//   identity            Label5 "Model Name:", Label6 the model, Label7 "Serial Number:",
//                       Label8 the serial number
//   poll                Timer1

#include <QString>

#include <array>
#include <memory>

#include "panel_parts.h"
#include "panel_window.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace iox::panels {

class Frame;
class Indicator;
class SerialOutFrame;

class IO4 : public PanelWindow {
public:
    explicit IO4(QWidget* parent = nullptr);
    ~IO4() override;

    // The serial number to connect to; the start-up writes it before the load.
    QString SN_Selected;

    void Form_Load();
    void Check1_Click(int index);  // 0 "Out-1", 1 "Out-2"
    void Check3_Click(int index);  // B0 to B3
    void Timer1_Timer() override;
    void Command1_Click();  // "Send"
    void Command2_Click();  // "Set"

    // The window's own device object, made on first use.
    USB_IO& device() override;

    QPushButton* Check1(int index) const { return m_check1.at(static_cast<std::size_t>(index)); }
    QPushButton* Check3(int index) const { return m_check3.at(static_cast<std::size_t>(index)); }
    QLabel* Label2(int index) const { return m_label2.at(static_cast<std::size_t>(index)); }
    QLabel* Label3(int index) const { return m_label3.at(static_cast<std::size_t>(index)); }
    QLabel* Label4(int index) const { return m_label4.at(static_cast<std::size_t>(index)); }
    QLabel* Label9(int index) const { return m_label9.at(static_cast<std::size_t>(index)); }
    QLabel* Label444(int index) const { return m_label444.at(static_cast<std::size_t>(index)); }
    QLabel* Label5() const { return m_identity.label5; }
    QLabel* Label6() const { return m_identity.label6; }
    QLabel* Label7() const { return m_identity.label7; }
    QLabel* Label8() const { return m_identity.label8; }
    Frame* Frame1() const { return m_frame1; }
    Frame* Frame3(int index) const;  // 1: "Byte B Status:", 2: "24V Status:"
    Frame* Frame5() const { return m_frame5; }
    SerialOutFrame* Frame6() const { return m_frame6; }
    QLineEdit* Text1() const;
    QLineEdit* Text2() const;
    QComboBox* Combo1(int index) const;
    Indicator* Shape2() const;

private:
    std::unique_ptr<USB_IO> m_device;
    std::array<QPushButton*, 2> m_check1{};
    std::array<QPushButton*, 4> m_check3{};
    std::array<QLabel*, 4> m_label2{};
    std::array<QLabel*, 4> m_label3{};
    std::array<QLabel*, 2> m_label4{};
    std::array<QLabel*, 6> m_label9{};
    std::array<QLabel*, 4> m_label444{};
    IdentityBlock m_identity{};
    Frame* m_frame1 = nullptr;
    Frame* m_frame3_1 = nullptr;
    Frame* m_frame3_2 = nullptr;
    Frame* m_frame5 = nullptr;
    SerialOutFrame* m_frame6 = nullptr;
};

}  // namespace iox::panels
