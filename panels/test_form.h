#pragma once
// TestForm: the main panel. Its load is the application's start-up;
// every control acts at once on the shared USB_IO object (iox::session::sharedDevice()).
// Controls are named and indexed as in the design; the accessors below give them to the
// other windows and to tests.

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace iox::panels {

class ClickLabel;
class Frame;
class Indicator;
class SerialOutFrame;

class TestForm : public QWidget {
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
    void Form_Unload();    // Disconnect of the shared object, errors ignored
    void Label11_Click();  // "(fw)"
    void Check1_Click(int index);
    void Check2_Click(int index);
    void Check3_Click(int index);
    void Option1_Click(int index);
    void Option2_Click(int index);
    void Timer1_Timer();
    void Command1_Click();  // "Send"
    void Command2_Click();  // "Set"
    void Command3_Click(int index);  // hidden "pls-5"

    // ---- controls ----
    QLabel* Label6() const;  // model name
    QLabel* Label8() const;  // serial number
    QLabel* Label11() const;  // "(fw)"
    QTimer* Timer1() const { return m_timer1; }
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
    QLabel* Label5() const { return m_label5; }
    QLabel* Label7() const { return m_label7; }
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

    // ---- lifecycle (main_panel.cpp) ----
    // Closes the window without ending the program: Timer1 stops, Form_Unload runs once.
    void unload();
    bool isUnloaded() const { return m_unloaded; }
    // The window has just been shown: it is the active window, Form_Activate runs.
    void shownAsActive();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildDesignState();
    void CheckFirmwareLevel();
    void applyModelALayout();
    void fillSerialLines(const QString& model);
    void setPortDirectionInput(std::array<QPushButton*, 8>& boxes);
    void handOverToCompactPanel();

    std::array<QPushButton*, 8> m_check1{}, m_check2{}, m_check3{};
    std::array<QRadioButton*, 2> m_option1{}, m_option2{};
    std::array<QLabel*, 8> m_label2{}, m_label3{}, m_label4{};
    std::array<QLabel*, 6> m_label9{};
    std::array<QLabel*, 4> m_label444{};
    std::array<QLabel*, 2> m_label1{};
    QLabel* m_label44 = nullptr;
    QLabel* m_label5 = nullptr;
    QLabel* m_label6 = nullptr;
    QLabel* m_label7 = nullptr;
    QLabel* m_label8 = nullptr;
    ClickLabel* m_label11 = nullptr;
    Frame* m_frame1 = nullptr;
    std::array<Frame*, 2> m_frame2{};
    std::array<Frame*, 3> m_frame3{};
    Frame* m_frame4 = nullptr;
    Frame* m_frame5 = nullptr;
    SerialOutFrame* m_frame6 = nullptr;
    Frame* m_frame7 = nullptr;
    QPushButton* m_command3 = nullptr;
    QTimer* m_timer1 = nullptr;

    bool m_unloaded = false;
    bool m_active = false;  // Form_Activate has run for the current activation
};

// Title of the main panel, which the start-up also gives IO4.
inline constexpr char kTestFormTitle[] = "Kestrow   USB To I/O  Controller -   (Ver A3)";

}  // namespace iox::panels
