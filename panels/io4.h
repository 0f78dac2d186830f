#pragma once
// IO4: the compact panel for "IOX-MODEL-B" boxes: two 24 V outputs, port-B
// lines B0 to B3, their status, and the serial-output frame. It owns its own USB_IO
// object, connected to SN_Selected by its load. Check-box handling, poll colouring and
// the serial-output frame are the main panel's (panel_parts.h).

#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace iox {
class USB_IO;
}

namespace iox::panels {

class Frame;
class Indicator;
class SerialOutFrame;

class IO4 : public QWidget {
public:
    explicit IO4(QWidget* parent = nullptr);
    ~IO4() override;

    // The serial number to connect to; the start-up writes it before the load.
    QString SN_Selected;

    void Form_Load();
    void Form_Unload();
    void Check1_Click(int index);  // 0 "Out-1", 1 "Out-2"
    void Check3_Click(int index);  // B0 to B3
    void Timer1_Timer();
    void Command1_Click();  // "Send"
    void Command2_Click();  // "Set"

    // The window's own device object, made on first use.
    USB_IO& device();

    QPushButton* Check1(int index) const { return m_check1.at(static_cast<std::size_t>(index)); }
    QPushButton* Check3(int index) const { return m_check3.at(static_cast<std::size_t>(index)); }
    QLabel* Label2(int index) const { return m_label2.at(static_cast<std::size_t>(index)); }
    QLabel* Label3(int index) const { return m_label3.at(static_cast<std::size_t>(index)); }
    QLabel* Label4(int index) const { return m_label4.at(static_cast<std::size_t>(index)); }
    QLabel* Label9(int index) const { return m_label9.at(static_cast<std::size_t>(index)); }
    QLabel* Label444(int index) const { return m_label444.at(static_cast<std::size_t>(index)); }
    QLabel* Label5() const { return m_label5; }
    QLabel* Label6() const { return m_label6; }
    QLabel* Label7() const { return m_label7; }
    QLabel* Label8() const { return m_label8; }
    Frame* Frame1() const { return m_frame1; }
    Frame* Frame3(int index) const;  // 1: "Byte B Status:", 2: "24V Status:"
    Frame* Frame5() const { return m_frame5; }
    SerialOutFrame* Frame6() const { return m_frame6; }
    QTimer* Timer1() const { return m_timer1; }
    QLineEdit* Text1() const;
    QLineEdit* Text2() const;
    QComboBox* Combo1(int index) const;
    Indicator* Shape2() const;

    // Closes the window without ending the program: Timer1 stops, Form_Unload runs once.
    void unload();
    bool isUnloaded() const { return m_unloaded; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<USB_IO> m_device;
    std::array<QPushButton*, 2> m_check1{};
    std::array<QPushButton*, 4> m_check3{};
    std::array<QLabel*, 4> m_label2{};
    std::array<QLabel*, 4> m_label3{};
    std::array<QLabel*, 2> m_label4{};
    std::array<QLabel*, 6> m_label9{};
    std::array<QLabel*, 4> m_label444{};
    QLabel* m_label5 = nullptr;
    QLabel* m_label6 = nullptr;
    QLabel* m_label7 = nullptr;
    QLabel* m_label8 = nullptr;
    Frame* m_frame1 = nullptr;
    Frame* m_frame3_1 = nullptr;
    Frame* m_frame3_2 = nullptr;
    Frame* m_frame5 = nullptr;
    SerialOutFrame* m_frame6 = nullptr;
    QTimer* m_timer1 = nullptr;
    bool m_unloaded = false;
};

}  // namespace iox::panels
