#pragma once
// FWForm: the update window and its public UpdateFirmware, the whole firmware update run
// by the firmware core's FirmwareUpdate. The image is read and checked first, so that a bad
// file never reaches the box; the window shows the progress while the bootloader takes the
// image; after the bootloader's last answer the main panel restarts. A failed update ends
// the program.

#include <QString>
#include <QWidget>

#include <cstdint>

class QFrame;
class QLabel;

namespace iox::firmware {

class FWForm : public QWidget {
public:
    explicit FWForm(QWidget* parent = nullptr);

    // The whole update of the box that the shared device object is connected to, with the
    // image file FirmwareFile. Always 0. Returns at once while another update runs.
    std::int16_t UpdateFirmware(QString& FirmwareFile);

    // Fill and percentage for the share of the image handed on so far; the bar full.
    void ShowProgress(float fraction);
    void showFullBar();

    // ---- controls ----
    QLabel* Label7() const { return m_label7; }  // file label
    QLabel* Label5() const { return m_label5; }  // title
    QFrame* Frame1() const { return m_frame1; }
    QLabel* Label3() const { return m_label3; }  // progress track
    QLabel* Label6() const { return m_label6; }  // progress fill
    QLabel* Label4() const { return m_label4; }  // percentage

protected:
    // Ignored while an update runs: the window is the only sign of it.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void failUpdate();

    QLabel* m_label7 = nullptr;
    QLabel* m_label5 = nullptr;
    QFrame* m_frame1 = nullptr;
    QLabel* m_label3 = nullptr;
    QLabel* m_label6 = nullptr;
    QLabel* m_label4 = nullptr;
};

// The update window, loaded (not shown) when it is not loaded yet.
FWForm& fwForm();
// The loaded update window, or nullptr.
FWForm* loadedFWForm();
// Hides the update window and destroys it later (safe from inside its own UpdateFirmware).
void unloadFWForm();

// True from the moment UpdateFirmware has accepted the image file until the restart
// begins or the update has failed.
bool updateRunning();

}  // namespace iox::firmware
