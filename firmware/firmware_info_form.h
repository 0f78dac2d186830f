#pragma once
// FirmwareInfoForm: which box is connected, the firmware revision it runs beside the latest
// one available, and the way to an update: the browse window picks the image file, the
// update window writes it. Opened from the main panel's "(fw)" label, which disables the
// panel; closing this window enables it again.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QLabel;
class QPushButton;

namespace iox::panels {
class TestForm;
}

namespace iox::firmware {

class FirmwareInfoForm : public QWidget {
public:
    // Loads the window for the main panel `panel` (its model and serial-number labels and
    // its enabled state); the box is asked for its firmware here.
    explicit FirmwareInfoForm(panels::TestForm& panel, QWidget* parent = nullptr);

    // ---- handlers ----
    void Command1_Click();  // "Update Firmware"
    void Command2_Click();  // "Exit"

    // ---- controls ----
    QLabel* Label7(int index) const { return m_label7.at(static_cast<std::size_t>(index)); }
    QPushButton* Command1() const { return m_command1; }
    QPushButton* Command2() const { return m_command2; }
    QLabel* Label1() const { return m_label1; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_QueryUnload();
    void ShowFirmwareInfo();
    void StartFirmwareUpdate(QString& FirmwareFile);

    QPointer<panels::TestForm> m_panel;
    std::array<QLabel*, 5> m_label7{};
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QLabel* m_label1 = nullptr;
};

// Shows the firmware information window for `panel`, not modal; the panel's "(fw)" click
// has disabled it already. One window at a time.
void openFirmwareInfo(panels::TestForm& panel);
// The open firmware information window, or nullptr.
FirmwareInfoForm* firmwareInfoForm();
// Closes the window (which enables the main panel) and destroys it later.
void unloadFirmwareInfo();

}  // namespace iox::firmware
