#pragma once
// TestForm: the main panel. Its load is the application's start-up;
// every control acts at once on the shared USB_IO object (iox::session::sharedDevice()).
// Controls are named and indexed as in the design; the accessors below give them to the
// other windows and to tests.
//
// Its controls by role:
//   port directions     Frame2(0), Frame2(1): captions Label1(0), Label1(1); radio buttons
//                       Option1(0) / (1) port A as output / input, Option2 the same for B
//   relay switches      Check1(0..7) in Frame1 "Set Relays"
//   port-A switches     Check2(0..7) in Frame4; port-B switches Check3(0..7) in Frame5;
//                       Label44_0 "Set Output" above them
//   status squares      Label4(0..7) relays in Frame3(2), Label2(0..7) port A in Frame3(0),
//                       Label3(0..7) port B in Frame3(1)
//   identity            Label5 "Model Name:", Label6 the model, Label7 "Serial Number:",
//                       Label8 the serial number; Label11 "(fw)", the firmware indicator
//   serial output       Frame6: Text1 the word, Command1 "Send", Shape2 its indicator,
//                       Text2 the pulse width, Command2 "Set", Combo1(0..2) the lines
//   legend              Frame7: Label9(2) / Label9(5) headings, Label444(0..3) swatches,
//                       Label9(0), (1), (4), (3) their texts
//   hidden              Command3(0) "pls-5", a 5 ms pulse on A0
//   poll                Timer1

#include <QString>

#include <array>
#include <cstdint>

#include "panel_parts.h"
#include "panel_window.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace iox::panels {

class ClickLabel;
class Frame;
class Indicator;
class SerialOutFrame;

class TestForm : public PanelWindow {
public:
    // The design state; nothing is loaded and no device is touched yet.
    explicit TestForm(QWidget* parent = nullptr);
    ~TestForm() override;

    // The serial number of the box to connect to; empty: the first box found. The
    // start-up empties it before the selection window opens; its "O.K" writes it.
    QString SN_Selected;

    // ---- handlers ----
    void Form_Load();      // the start-up; loadMainPanel() runs it
    void Form_Activate();  // public: the firmware updater calls it after a restart
    void Label11_Click();  // "(fw)"
    void Check1_Click(int index);
    void Check2_Click(int index);
    void Check3_Click(int index);
    // A direction button of port 'A' (Option1) or 'B' (Option2): index 0 output, 1 input.
    void Option_Click(char port, int index);
    void Timer1_Timer() override;
    void Command1_Click();  // "Send"
    void Command2_Click();  // "Set"
    void Command3_Click(int index);  // hidden "pls-5"

    // ---- controls ----
    QLabel* Label6() const;  // model name
    QLabel* Label8() const;  // serial number
    QLabel* Label11() const;  // "(fw)"
    QPushButton* Check1(int index) const { return m_check1.at(static_cast<std::size_t>(index)); }
    QPushButton* Check2(int index) const { return m_check2.at(static_cast<std::size_t>(index)); }
    QPushButton* Check3(int index) const { return m_check3.at(static_cast<std::size_t>(index)); }
    QRadioButton* Option1(int index) const { return m_option1.at(static_cast<std::size_t>(index)); }
    QRadioButton* Option2(int index) const { return m_option2.at(static_cast<std::size_t>(index)); }
    QLabel* Label2(int index) const { return m_label2.at(static_cast<std::size_t>(index)); }
    QLabel* Label3(int index) const { return m_label3.at(static_cast<std::size_t>(index)); }
    QLabel* Label4(int index) const { return m_label4.at(static_cast<std::size_t>(index)); }
    QLabel* Label9(int index) const { return m_label9.at(static_cast<std::size_t>(index)); }
    QLabel* Label444(int index) const { return m_label444.at(static_cast<std::size_t>(index)); }
    QLabel* Label44_0() const { return m_label44; }
    QLabel* Label1(int index) const;  // 0, 1: direction frames; 2 to 6: Frame6
    QLabel* Label5() const { return m_identity.label5; }
    QLabel* Label7() const { return m_identity.label7; }
    Frame* Frame1() const { return m_frame1; }
    Frame* Frame2(int index) const { return m_frame2.at(static_cast<std::size_t>(index)); }
    Frame* Frame3(int index) const { return m_frame3.at(static_cast<std::size_t>(index)); }
    Frame* Frame4() const { return m_frame4; }
    Frame* Frame5() const { return m_frame5; }
    SerialOutFrame* Frame6() const { return m_frame6; }
    Frame* Frame7() const { return m_frame7; }
    QPushButton* Command3(int index) const;
    // Frame6's controls, by their design names.
    QLineEdit* Text1() const;
    QLineEdit* Text2() const;
    QComboBox* Combo1(int index) const;
    Indicator* Shape2() const;

    // The shared device object.
    USB_IO& device() override;

    // ---- lifecycle (main_panel.cpp) ----
    // The window has just been shown: it is the active window, Form_Activate runs.
    void shownAsActive();

protected:
    // Activation runs Form_Activate on the first showing and when the operator comes back
    // from another window of this program, not when the desktop gives the focus back from
    // another program.
    bool event(QEvent* event) override;

private:
    void buildDesignState();
    void CheckFirmwareLevel();
    void applyModelALayout();
    void handOverToCompactPanel();

    std::array<QPushButton*, 8> m_check1{}, m_check2{}, m_check3{};
    std::array<QRadioButton*, 2> m_option1{}, m_option2{};
    std::array<QLabel*, 8> m_label2{}, m_label3{}, m_label4{};
    std::array<QLabel*, 6> m_label9{};
    std::array<QLabel*, 4> m_label444{};
    std::array<QLabel*, 2> m_label1{};
    QLabel* m_label44 = nullptr;
    IdentityBlock m_identity{};
    ClickLabel* m_label11 = nullptr;
    Frame* m_frame1 = nullptr;
    std::array<Frame*, 2> m_frame2{};
    std::array<Frame*, 3> m_frame3{};
    Frame* m_frame4 = nullptr;
    Frame* m_frame5 = nullptr;
    SerialOutFrame* m_frame6 = nullptr;
    Frame* m_frame7 = nullptr;
    QPushButton* m_command3 = nullptr;

    bool m_active = false;  // Form_Activate has run for the current activation
    bool m_activateOnReturn = true;  // the last deactivation went to a window of this program
};

// Title of the main panel, which the start-up also gives IO4.
inline constexpr char kTestFormTitle[] = "Kestrow   USB To I/O  Controller -   (Ver A3)";

}  // namespace iox::panels
