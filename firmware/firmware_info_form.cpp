#include "firmware_info_form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <cstdint>
#include <string>

#include "boxes/identity.h"
#include "boxes/models.h"
#include "browse_form.h"
#include "firmware_core/firmware_update.h"
#include "fw_form.h"
#include "panels/one_window.h"
#include "panels/test_form.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace iox::firmware {

namespace {

panels::OneWindow<FirmwareInfoForm> g_info;

const QColor kNoteColour{0x80, 0x00, 0x00};

}  // namespace

// ---- construction ----------------------------------------------------------------------

FirmwareInfoForm::FirmwareInfoForm(panels::TestForm& panel, QWidget* parent) : QWidget(parent), m_panel(&panel)
{
    buildControls();
    Form_Load();
}

void FirmwareInfoForm::buildControls()
{
    setObjectName(QStringLiteral("FirmwareInfoForm"));
    setWindowTitle(QStringLiteral("Firmware - Info."));
    setFixedSize(ui::twips(5700), ui::twips(4965));
    ui::setFormColour(*this, ui::kWindowColour);

    struct Design {
        const char* caption;
        QRect where;
    };
    // The captions and the note keep the spelling operators and their instructions know
    // ("Avaliable", "recommanded"): do not correct them.
    const std::array<Design, 5> label7{{
        {"Latest Firmware Avaliable for This Model:", ui::twipsRect(840, 2040, 4455, 375)},
        {"Firmware:", ui::twipsRect(480, 1320, 3015, 375)},
        {"Model", ui::twipsRect(480, 240, 3255, 375)},
        {"SN", ui::twipsRect(480, 720, 3255, 375)},
        {"Firmware:", ui::twipsRect(1800, 2520, 2175, 375)},
    }};
    const QFont labelFont = ui::designFont(9.75, true);
    for (std::size_t i = 0; i < m_label7.size(); ++i) {
        m_label7[i] = new QLabel(QString::fromLatin1(label7[i].caption), this);
        m_label7[i]->setGeometry(label7[i].where);
        m_label7[i]->setFont(labelFont);
        ui::setBackground(*m_label7[i], ui::kWindowColour);
    }
    m_label7[4]->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_label7[4]->setAlignment(Qt::AlignCenter);

    m_command1 = new QPushButton(QStringLiteral("Update Firmware"), this);
    m_command1->setGeometry(ui::twipsRect(480, 3360, 1860, 615));
    m_command2 = new QPushButton(QStringLiteral("Exit"), this);
    m_command2->setGeometry(ui::twipsRect(3120, 3360, 1860, 615));
    for (QPushButton* button : {m_command1, m_command2}) {
        button->setFont(ui::designFont(8.25, true, false, ui::Face::Arial));
        button->setToolTip(QStringLiteral("Click to change status"));
        button->setCursor(Qt::PointingHandCursor);
        ui::setBackground(*button, ui::kWindowColour);
    }
    setTabOrder(m_command1, m_command2);

    m_label1 = new QLabel(
        QStringLiteral("Note: It is strongly recommanded to Update Firmware only when using a UPS for the PC and the Gen. "),
        this);
    m_label1->setGeometry(ui::twipsRect(480, 4320, 4695, 495));
    m_label1->setFont(ui::plainFont());
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::setBackground(*m_label1, ui::kWindowColour);
    ui::setTextColour(*m_label1, kNoteColour);

    connect(m_command1, &QPushButton::clicked, this, &FirmwareInfoForm::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &FirmwareInfoForm::Command2_Click);
}

// ---- handlers --------------------------------------------------------------------------

void FirmwareInfoForm::Form_Load()
{
    ui::placeWindow(*this);
    const QString model = m_panel ? m_panel->Label6()->text() : QString();
    const QString serial = m_panel ? m_panel->Label8()->text() : QString();
    m_label7[2]->setText(QStringLiteral("Model: ") + model);
    m_label7[3]->setText(QStringLiteral("S/N: ") + serial);
    ShowFirmwareInfo();
}

void FirmwareInfoForm::ShowFirmwareInfo()
{
    const boxes::Firmware firmware = boxes::readFirmware(session::sharedDevice());
    m_label7[1]->setText(QStringLiteral("Firmware: ") + QString::fromLatin1(firmware.revision));
    const std::string model = m_panel ? m_panel->Label6()->text().toStdString() : std::string();
    std::string latestRevision;
    session::GetLatestFirmware(model, latestRevision);
    m_label7[4]->setText(QString::fromLatin1(latestRevision));
    if (firmware.level < boxes::modelOrAnyBox(model).lowestUpdatableLevel)
        m_command1->setEnabled(false);
}

void FirmwareInfoForm::Command1_Click()
{
    // Queued clicks run while an update lets window events through; one update at a time.
    if (updateRunning())
        return;
    // The browse window opens in the firmware folder beside the program; a folder that
    // exists already, or cannot be made, changes nothing.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/Firmware");
    QDir().mkdir(folder);
    QDir::setCurrent(folder);
    BrowseForm::showModal(this);

    QString& chosen = session::FirmwareFilePath();
    if (!isFirmwareFilePath(chosen.toStdString())) {
        ui::services().message(QString::fromLatin1(kIllegalFileText));
        return;
    }
    if (!chosen.isEmpty())
        StartFirmwareUpdate(chosen);
}

void FirmwareInfoForm::Command2_Click() { close(); }

void FirmwareInfoForm::StartFirmwareUpdate(QString& FirmwareFile)
{
    ui::services().setBusyCursor(true);
    FWForm& update = fwForm();
    update.Label6()->resize(0, update.Label6()->height());
    update.Label7()->setText(QStringLiteral("Update Firmware: ") + FirmwareFile);
    update.UpdateFirmware(FirmwareFile);
    ui::services().setBusyCursor(false);
}

void FirmwareInfoForm::Form_QueryUnload()
{
    if (m_panel)
        m_panel->setEnabled(true);
}

void FirmwareInfoForm::closeEvent(QCloseEvent* event)
{
    // While an update runs this window's update handler is waiting for it, and the main
    // panel must stay disabled; the update closes the window itself when it has finished.
    if (updateRunning()) {
        event->ignore();
        return;
    }
    Form_QueryUnload();
    event->accept();
}

// ---- lifecycle -------------------------------------------------------------------------

void openFirmwareInfo(panels::TestForm& panel)
{
    // A window closed a moment ago waits for its deletion: it does not count.
    if (g_info && g_info->isVisible()) {
        g_info->raise();
        g_info->activateWindow();
        return;
    }
    FirmwareInfoForm& form = g_info.replace(new FirmwareInfoForm(panel));
    form.setAttribute(Qt::WA_DeleteOnClose);
    form.show();
}

FirmwareInfoForm* firmwareInfoForm() { return g_info.get(); }

void unloadFirmwareInfo()
{
    if (FirmwareInfoForm* form = g_info.release())
        form->close();
}

}  // namespace iox::firmware
