#include "fw_form.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <string>

#include "app/app_state.h"
#include "bootloader_protocol.h"
#include "firmware_info_form.h"
#include "firmware_update.h"
#include "image_file.h"
#include "panels/main_panel.h"
#include "panels/one_window.h"
#include "panels/test_form.h"
#include "panels/ui_services.h"

namespace iox::firmware {

namespace {

panels::OneWindow<FWForm> g_form;
bool g_updating = false;

constexpr std::chrono::milliseconds kRestartPause{2000};
const QColor kFrameColour{0xFF, 0xFF, 0xC0};
const QColor kFillColour{0x00, 0xFF, 0xFF};

// Marks an update as running for as long as it is in scope, or until end().
class RunningMark {
public:
    RunningMark() { g_updating = true; }
    ~RunningMark() { end(); }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;
    void end() { g_updating = false; }
};

}  // namespace

// ---- construction ----------------------------------------------------------------------

FWForm::FWForm(QWidget* parent) : QWidget(parent)
{
    buildControls();
    Form_Load();
}

void FWForm::buildControls()
{
    setObjectName(QStringLiteral("FWForm"));
    setWindowTitle(QStringLiteral("Kestrow  -  Update Firmware"));
    setFixedSize(ui::twips(6405), ui::twips(2175));
    ui::setFormColour(*this, ui::kWindowColour);

    m_label7 = new QLabel(QStringLiteral("Avaliable Firmware:"), this);
    m_label7->setGeometry(ui::twipsRect(120, 360, 6135, 615));
    m_label7->setFont(ui::designFont(8.25, true));
    m_label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label7->setWordWrap(true);

    m_label5 = new QLabel(QStringLiteral("Update Firmware -  in progress:"), this);
    m_label5->setGeometry(ui::twipsRect(120, 1080, 6135, 375));
    m_label5->setFont(ui::designFont(9.75, true, true));
    m_label5->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    m_frame1 = new QFrame(this);
    m_frame1->setFrameShape(QFrame::NoFrame);
    m_frame1->setGeometry(ui::twipsRect(120, 1440, 6135, 495));
    ui::setBackground(*m_frame1, kFrameColour);

    m_label3 = new QLabel(m_frame1);
    m_label3->setGeometry(ui::twipsRect(0, 0, 6135, 495));
    ui::setBackground(*m_label3, ui::systemWindowColour());

    m_label6 = new QLabel(m_frame1);
    m_label6->setGeometry(ui::twipsRect(0, 0, 135, 495));
    ui::setBackground(*m_label6, kFillColour);

    // Drawn above the fill.
    m_label4 = new QLabel(QStringLiteral("100%"), m_frame1);
    m_label4->setGeometry(ui::twipsRect(2760, 120, 570, 240));
    m_label4->setFont(ui::plainFont());
    m_label4->raise();
}

void FWForm::Form_Load() { ui::placeWindow(*this); }

// ---- the update ------------------------------------------------------------------------

std::int16_t FWForm::UpdateFirmware(QString& FirmwareFile)
{
    if (g_updating)
        return 0;
    // Everything that can be wrong with the file is found before the box is touched: a box
    // left in its bootloader without an image cannot be used until it is updated.
    const ImageFileResult file = readImageFile(FirmwareFile);
    if (!file.image) {
        ui::services().message(file.error);
        return 0;
    }
    RunningMark running;
    const FirmwareImage& image = *file.image;

    USB_IO& device = app::sharedDevice();
    HidBackend& backend = app::deviceBackend();
    BootloaderLink link(backend);

    // Marking, on the connection the main panel opened.
    link.WriteUpdateFlag(device.GetUSBDeviceHandle(), kUpdateFlagYes);
    if (panels::TestForm* panel = panels::mainPanel()) {
        panel->Timer1()->stop();
        panel->setEnabled(false);
    }
    // Resetting: the box leaves the bus and comes back in its bootloader under the same path.
    const std::string path = device.GetUSBDeviceName();
    device.ResetCPU();
    device.Disconnect();
    const HidHandle handle = reopenAfterReset(backend, path);

    // Sending. A box that did not come back fails at the first line.
    show();
    ui::services().processEvents();
    ui::services().processEvents();
    const SendResult sent = sendImage(link, handle, image, [this, &image](const ImageLine& line) {
        ShowProgress(line.position(), image.length());
    });
    if (handle > 0)
        backend.close(handle);
    if (sent.outcome == SendOutcome::Failed) {
        failUpdate();
        return 0;
    }

    showFullBar();
    ui::services().message(QString::fromLatin1(kUpdateDoneText));
    running.end();
    restartMainPanel();
    return 0;
}

void FWForm::ShowProgress(std::size_t position, std::size_t length)
{
    const auto fraction = static_cast<float>(static_cast<double>(position) / static_cast<double>(length));
    const QRect track = m_label3->geometry();
    m_label6->setGeometry(track.left(), track.top(), qRound(static_cast<float>(track.width()) * fraction),
                          track.height());
    m_label4->setText(QString::number(qRound(fraction * 100.0f)) + QLatin1Char('%'));
    ui::services().processEvents();
}

void FWForm::showFullBar() { m_label6->setGeometry(m_label3->geometry()); }

void FWForm::failUpdate()
{
    ui::services().message(QString::fromLatin1(kUpdateFailedText));
    ui::services().endProgram();
}

void FWForm::restartMainPanel()
{
    unloadFirmwareInfo();  // its closing enables the main panel
    panels::unloadMainPanel();  // its unloading disconnects the shared device
    ui::services().sleep(kRestartPause);
    unloadFWForm();
    // The start-up runs again as at application start, then the panel is activated.
    panels::loadMainPanel();
    if (panels::TestForm* panel = panels::mainPanel())
        panel->Form_Activate();
}

void FWForm::closeEvent(QCloseEvent* event)
{
    if (g_updating) {
        event->ignore();
        return;
    }
    event->accept();
}

// ---- lifecycle -------------------------------------------------------------------------

FWForm& fwForm()
{
    return g_form.loaded([] { return new FWForm; });
}

FWForm* loadedFWForm() { return g_form.get(); }

void unloadFWForm()
{
    FWForm* form = g_form.release();
    if (!form)
        return;
    form->hide();
    form->deleteLater();
}

bool updateRunning() { return g_updating; }

}  // namespace iox::firmware
