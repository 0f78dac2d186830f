#include "fw_form.h"

#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <string>

#include "firmware_core/firmware_update.h"
#include "firmware_info_form.h"
#include "panels/main_panel.h"
#include "panels/one_window.h"
#include "panels/test_form.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace iox::firmware {

namespace {

panels::OneWindow<FWForm> g_form;
bool g_updating = false;

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

    // "Avaliable" is spelt as operators and their instructions know the caption: keep it.
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

namespace {

// The window's share of each phase: the main panel stopped before the reset, the window
// shown once the bootloader is there, the bar after every answer, and the success message
// and the unloading of the other windows before the pause for the box's return.
class WindowSteps : public UpdateObserver {
public:
    explicit WindowSteps(FWForm& form) : m_form(form) {}

    void phase(UpdatePhase phase) override
    {
        if (phase == UpdatePhase::Reset) {
            if (panels::TestForm* panel = panels::mainPanel()) {
                panel->Timer1()->stop();
                panel->setEnabled(false);
            }
        } else if (phase == UpdatePhase::SendLines) {
            showWindow();
        } else if (phase == UpdatePhase::AwaitReturn) {
            m_form.showFullBar();
            ui::services().message(QString::fromLatin1(kUpdateDoneText));
            g_updating = false;
            unloadFirmwareInfo();       // its closing enables the main panel
            panels::unloadMainPanel();  // its unloading disconnects the shared device
        }
    }
    void beep() override { ui::services().beep(); }
    void lineAnswered(const UpdateProgress& progress) override { m_form.ShowProgress(progress.fraction()); }

    void showWindow()
    {
        // The window shows before the first line goes, and pending events run twice, as they
        // do in the operator's update: once for the window, once for the image read (which
        // happens earlier here, before the box is touched). Clicks queued meanwhile run now.
        m_form.show();
        ui::services().processEvents();
        ui::services().processEvents();
    }

private:
    FWForm& m_form;
};

}  // namespace

std::int16_t FWForm::UpdateFirmware(QString& FirmwareFile)
{
    if (g_updating)
        return 0;
    WindowSteps steps(*this);
    FirmwareUpdate update(session::deviceBackend(), steps, [](std::chrono::milliseconds wait) {
        ui::services().sleep(wait);
    });
    // Everything that can be wrong with the file is found before the box is touched: a box
    // left in its bootloader without an image cannot be used until it is updated.
    if (!update.checkImage(QFile::encodeName(FirmwareFile).toStdString())) {
        ui::services().message(QString::fromLocal8Bit(update.refusal()));
        return 0;
    }
    RunningMark running;
    switch (update.run(session::sharedDevice()).outcome) {
    case UpdateOutcome::Finished:
        unloadFWForm();
        // The start-up runs again as at application start, then the panel is activated.
        panels::loadMainPanel();
        if (panels::TestForm* panel = panels::mainPanel())
            panel->Form_Activate();
        break;
    case UpdateOutcome::NoBootloader: {
        // As when the first line finds no box: the window, the bar at that line, the end.
        steps.showWindow();
        const FirmwareImage& image = *update.image();
        ShowProgress(UpdateProgress{image.lines.front().position(), image.length(), 1}.fraction());
        failUpdate();
        break;
    }
    default:
        failUpdate();
        break;
    }
    return 0;
}

void FWForm::ShowProgress(float fraction)
{
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
