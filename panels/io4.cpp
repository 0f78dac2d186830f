#include "io4.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <string>

#include "main_window.h"
#include "panel_parts.h"
#include "session/session.h"
#include "ui_services.h"

namespace iox::panels {

IO4::IO4(QWidget* parent) : PanelWindow(parent)
{
    setObjectName(QStringLiteral("IO4"));
    setFixedSize(ui::twips(9750), ui::twips(6270));
    ui::setBackground(*this, ui::kWindowColour);

    const QFont bold = ui::designFont(8.25, true);
    const QFont big = ui::designFont(12, true);

    // 24 V outputs. The layout gives the frames and the button size; the places inside the
    // frames are chosen to match the main panel's spacing.
    m_frame1 = new Frame(this, QStringLiteral("Set Output - 24V:"), ui::twipsRect(120, 240, 2895, 1335));
    for (int i = 0; i < 2; ++i) {
        m_check1[static_cast<std::size_t>(i)] =
            makeToggle(m_frame1, QString(), ui::twipsRect(600 + 1200 * i, 360, 495, 495));
        m_label2[static_cast<std::size_t>(i)] = makeLabel(m_frame1, QStringLiteral("Out-%1").arg(i + 1),
                                                          ui::twipsRect(540 + 1200 * i, 930, 615, 255), bold);
    }
    // Port-B lines B0 to B3.
    m_frame5 = new Frame(this, QStringLiteral("Set 4 Digital Output - Byte B:"), ui::twipsRect(120, 1800, 2895, 1335));
    for (int i = 0; i < 4; ++i)
        m_check3[static_cast<std::size_t>(i)] =
            makeToggle(m_frame5, QString::number(i), ui::twipsRect(240 + 660 * i, 480, 495, 495));

    // Status squares.
    m_frame3_2 = new Frame(this, QStringLiteral("24V Status:"), ui::twipsRect(3360, 480, 2295, 1095));
    for (int i = 0; i < 2; ++i) {
        QLabel* square = makeStatusLabel(m_frame3_2, QString::number(i), ui::twipsRect(480 + 960 * i, 300, 375, 375), big);
        ui::setTextColour(*square, ui::kLow);  // design state: text and background #FF8080
        m_label4[static_cast<std::size_t>(i)] = square;
        m_label2[static_cast<std::size_t>(2 + i)] = makeLabel(m_frame3_2, QStringLiteral("Out-%1").arg(i + 1),
                                                              ui::twipsRect(360 + 960 * i, 720, 615, 255), bold);
    }
    m_frame3_1 = new Frame(this, QStringLiteral("Byte B Status:"), ui::twipsRect(3240, 2040, 2295, 975));
    for (int i = 0; i < 4; ++i)
        m_label3[static_cast<std::size_t>(i)] =
            makeStatusLabel(m_frame3_1, QString::number(i), ui::twipsRect(240 + 480 * i, 360, 375, 375), big);

    // Serial output: the main panel's frame; "Send" clears only port-B boxes.
    m_frame6 = new SerialOutFrame(
        this, ui::twipsRect(120, 3360, 5415, 2655), [this]() -> USB_IO& { return device(); },
        [this](bool portA, int bit) {
            if (!portA && bit >= 0 && bit < 4)
                m_check3[static_cast<std::size_t>(bit)]->setChecked(false);
        });

    // Legends: plain texts, unlike the main panel's.
    makeLegend(this,
               {"Digital Legend", ui::twipsRect(5760, 3480, 1455, 255), ui::twipsRect(5760, 3840, 375, 375),
                "- Logic Low", ui::twipsRect(6240, 3900, 1335, 255), ui::twipsRect(5760, 4320, 375, 375),
                "- Logic High", ui::twipsRect(6240, 4380, 1335, 255)},
               {"24V Legend", ui::twipsRect(7680, 3480, 1455, 255), ui::twipsRect(7680, 3840, 375, 375),
                "- Output 0 Volt", ui::twipsRect(8160, 3900, 1575, 255), ui::twipsRect(7680, 4320, 375, 375),
                "- Output 24 Volt", ui::twipsRect(8160, 4380, 1575, 255)},
               m_label9, m_label444);

    m_identity = makeIdentityBlock(this, QStringLiteral("IOX-MODEL-C"));

    for (int i = 0; i < 2; ++i)
        onToggle(*m_check1[static_cast<std::size_t>(i)], [this, i] { Check1_Click(i); });
    for (int i = 0; i < 4; ++i)
        onToggle(*m_check3[static_cast<std::size_t>(i)], [this, i] { Check3_Click(i); });
}

IO4::~IO4() = default;

USB_IO& IO4::device()
{
    if (!m_device)
        m_device = session::makeDevice();
    return *m_device;
}

Frame* IO4::Frame3(int index) const { return index == 1 ? m_frame3_1 : index == 2 ? m_frame3_2 : nullptr; }
QLineEdit* IO4::Text1() const { return m_frame6->Text1(); }
QLineEdit* IO4::Text2() const { return m_frame6->Text2(); }
QComboBox* IO4::Combo1(int index) const { return m_frame6->Combo1(index); }
Indicator* IO4::Shape2() const { return m_frame6->Shape2(); }

void IO4::Form_Load()
{
    Timer1()->start();
    ui::placeWindow(*this);
    USB_IO& io = device();
    if (io.Connect(SN_Selected.toLatin1().toStdString()) == 0)  // the load goes on all the same
        ui::services().message(QStringLiteral("Connection to USB IO failed"), ui::Buttons::Ok, ui::Icon::None);
    writeIdleState(io);
    std::string model, sn;
    io.Read_ModelName(model);
    m_identity.label6->setText(QString::fromLatin1(model.c_str()));
    io.Read_SN(sn);
    m_identity.label8->setText(QString::fromLatin1(sn.c_str()));
    // The serial lines of the model this panel is for; none after a failed connection.
    const boxes::Model* row = boxes::findModel(model);
    m_frame6->setLinesOf(row && row->switches == boxes::Switches::Outputs24V ? row : nullptr);
}

void IO4::Check1_Click(int index) { switchRelay(device(), *m_check1[static_cast<std::size_t>(index)], index); }

void IO4::Check3_Click(int index) { switchLine(device(), *m_check3[static_cast<std::size_t>(index)], 'B', index); }

// Port A is read, not shown.
void IO4::Timer1_Timer() { pollStatus(device(), {}, m_label3, m_label4); }

void IO4::Command1_Click() { m_frame6->Command1_Click(); }
void IO4::Command2_Click() { m_frame6->Command2_Click(); }

}  // namespace iox::panels
