#include "test_form.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <string>

#include "boxes/identity.h"
#include "list_form.h"
#include "main_panel.h"
#include "main_window.h"
#include "panel_parts.h"
#include "session/session.h"
#include "ui_services.h"

namespace iox::panels {

namespace {

QRadioButton* makeOption(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* option = new QRadioButton(caption, parent);
    option->setGeometry(geometry);
    option->setFont(ui::plainFont());
    return option;
}

}  // namespace

TestForm::TestForm(QWidget* parent) : PanelWindow(parent)
{
    buildDesignState();
}

TestForm::~TestForm() = default;

void TestForm::buildDesignState()
{
    setObjectName(QStringLiteral("TestForm"));
    setWindowTitle(QString::fromLatin1(kTestFormTitle));
    setFixedSize(ui::twips(9840), ui::twips(9705));
    ui::setBackground(*this, ui::kWindowColour);

    const QFont bold = ui::designFont(8.25, true);
    const QFont statusFont = ui::designFont(12, true);

    // Port directions.
    static const char* const kDirectionTitles[] = {" Config Digital Byte A   ", " Config Digital Byte B"};
    for (std::size_t f = 0; f < 2; ++f) {
        m_frame2[f] = new Frame(this, QString(), ui::twipsRect(240 + 2760 * static_cast<int>(f), 240, 2415, 1215));
        m_label1[f] = makeNavyLabel(m_frame2[f], QString::fromLatin1(kDirectionTitles[f]),
                                    ui::twipsRect(240, 0, 1935, 255), bold);
        ui::setBackground(*m_label1[f], ui::kWindowColour);
    }
    m_option1[0] = makeOption(m_frame2[0], QStringLiteral("Byte A as Output"), ui::twipsRect(120, 360, 1815, 255));
    m_option1[1] = makeOption(m_frame2[0], QStringLiteral("Byte A as Input"), ui::twipsRect(120, 720, 1695, 255));
    m_option2[0] = makeOption(m_frame2[1], QStringLiteral("Byte B as Output"), ui::twipsRect(120, 360, 1815, 255));
    m_option2[1] = makeOption(m_frame2[1], QStringLiteral("Byte B as Input"), ui::twipsRect(120, 720, 1695, 255));
    m_option1[0]->setChecked(true);  // design state, no handler runs
    m_option2[0]->setChecked(true);

    // Output switches.
    m_label44 = makeNavyLabel(this, QStringLiteral("Set Output"), ui::twipsRect(240, 1800, 5175, 255), bold);
    m_frame1 = new Frame(this, QStringLiteral("Set Relays"), ui::twipsRect(240, 2040, 5175, 1335));
    m_frame4 = new Frame(this, QStringLiteral("Set Digital Byte A"), ui::twipsRect(240, 3720, 5175, 1335));
    m_frame5 = new Frame(this, QStringLiteral("Set Digital Byte B"), ui::twipsRect(240, 5280, 5175, 1335));
    const std::pair<Frame*, std::array<QPushButton*, 8>*> switchRows[] = {
        {m_frame1, &m_check1}, {m_frame4, &m_check2}, {m_frame5, &m_check3}};
    for (auto [frame, boxes] : switchRows)
        for (int i = 0; i < 8; ++i)
            (*boxes)[static_cast<std::size_t>(i)] =
                makeToggle(frame, QString::number(i), ui::twipsRect(240 + 600 * i, 480, 495, 495));

    // Identity and firmware indicator.
    m_identity = makeIdentityBlock(this, QStringLiteral("IOX-MODEL-C"));  // the caption until a box is read
    m_label11 = new ClickLabel(QStringLiteral("(fw)"), this);
    m_label11->setGeometry(ui::twipsRect(8520, 1080, 495, 255));
    m_label11->setFont(bold);
    m_label11->setToolTip(QStringLiteral("Firmware - Update"));
    m_label11->setCursor(Qt::PointingHandCursor);
    ui::setTextColour(*m_label11, kFirmwareFlag);
    m_label11->onClick = [this] { Label11_Click(); };

    // Status rows.
    m_frame3[2] = new Frame(this, QStringLiteral("Relays Status:"), ui::twipsRect(5640, 2400, 3975, 975));
    m_frame3[0] = new Frame(this, QStringLiteral("Byte A Status:"), ui::twipsRect(5640, 3960, 3975, 975));
    m_frame3[1] = new Frame(this, QStringLiteral("Byte B Status:"), ui::twipsRect(5640, 5520, 3975, 975));
    const std::pair<Frame*, std::array<QLabel*, 8>*> statusRows[] = {
        {m_frame3[0], &m_label2}, {m_frame3[1], &m_label3}, {m_frame3[2], &m_label4}};
    for (auto [frame, labels] : statusRows)
        for (int i = 0; i < 8; ++i)
            (*labels)[static_cast<std::size_t>(i)] =
                makeStatusLabel(frame, QString::number(i), ui::twipsRect(120 + 480 * i, 360, 375, 375), statusFont);

    // Serial output and the hidden pulse button.
    m_frame6 = new SerialOutFrame(
        this, ui::twipsRect(240, 6840, 5175, 2655), [this]() -> USB_IO& { return device(); },
        [this](bool portA, int bit) {
            if (bit >= 0 && bit < 8)
                (portA ? m_check2 : m_check3)[static_cast<std::size_t>(bit)]->setChecked(false);
        });
    m_command3 = new QPushButton(QStringLiteral("pls-5"), this);
    m_command3->setGeometry(ui::twipsRect(480, 4750, 495, 255));
    m_command3->setToolTip(QStringLiteral("5 ms Pulse"));
    m_command3->setFont(ui::plainFont());
    ui::setBackground(*m_command3, ui::kLow);
    m_command3->setVisible(false);

    // Legend.
    m_frame7 = new Frame(this, QString(), ui::twipsRect(5640, 7320, 4215, 1695), false);
    makeLegend(m_frame7,
               {"Digital Legend", ui::twipsRect(0, 0, 1455, 255), ui::twipsRect(0, 360, 375, 375), "\"- Low\"",
                ui::twipsRect(600, 480, 855, 255), ui::twipsRect(0, 840, 375, 375), "\"- High\"",
                ui::twipsRect(600, 960, 975, 255)},
               {"Relays Legend", ui::twipsRect(1920, 0, 1815, 255), ui::twipsRect(1920, 360, 375, 375),
                "- Common to NC", ui::twipsRect(2520, 480, 1575, 255), ui::twipsRect(1920, 840, 375, 375),
                "- Common to NO", ui::twipsRect(2520, 960, 1695, 255)},
               m_label9, m_label444);

    // Handlers, connected after the design state so that it raises none.
    for (int i = 0; i < 8; ++i) {
        onToggle(*m_check1[static_cast<std::size_t>(i)], [this, i] { Check1_Click(i); });
        onToggle(*m_check2[static_cast<std::size_t>(i)], [this, i] { Check2_Click(i); });
        onToggle(*m_check3[static_cast<std::size_t>(i)], [this, i] { Check3_Click(i); });
    }
    for (int i = 0; i < 2; ++i)
        for (const char port : {'A', 'B'})
            connect((port == 'A' ? m_option1 : m_option2)[static_cast<std::size_t>(i)], &QRadioButton::toggled, this,
                    [this, port, i](bool on) {
                        if (on)
                            Option_Click(port, i);
                    });
    connect(m_command3, &QPushButton::clicked, this, [this] { Command3_Click(0); });
}

QLabel* TestForm::Label6() const { return m_identity.label6; }
QLabel* TestForm::Label8() const { return m_identity.label8; }
QLabel* TestForm::Label11() const { return m_label11; }
QLabel* TestForm::Label1(int index) const
{
    return index < 2 ? m_label1.at(static_cast<std::size_t>(index)) : m_frame6->Label1(index);
}
QPushButton* TestForm::Command3(int index) const { return index == 0 ? m_command3 : nullptr; }
QLineEdit* TestForm::Text1() const { return m_frame6->Text1(); }
QLineEdit* TestForm::Text2() const { return m_frame6->Text2(); }
QComboBox* TestForm::Combo1(int index) const { return m_frame6->Combo1(index); }
Indicator* TestForm::Shape2() const { return m_frame6->Shape2(); }
USB_IO& TestForm::device() { return session::sharedDevice(); }

// ---- start-up, activation, closing -------------------------------------------

void TestForm::Form_Load()
{
    Timer1()->start();  // Timer1 runs from the load; ticks before Connect reach no box
    ui::placeWindow(*this);

    // The box: the operator picks one in the selection window when several are attached.
    USB_IO& io = device();
    std::string list;
    const std::int16_t count = io.Get_Available_SN_List(list);
    std::int16_t result = 0;
    if (count > 1) {
        SN_Selected.clear();
        ListForm::showModal(SN_Selected, this);
        result = io.Connect(SN_Selected.toLatin1().toStdString());
    } else {
        result = io.Connect(std::string());
    }
    if (result == 0)  // the load goes on all the same; the commands then reach no box
        ui::services().message(QStringLiteral("Connection to USB IO failed"), ui::Buttons::Ok, ui::Icon::None);

    writeIdleState(io);

    // The panel adapts to the model: port A only, the compact panel, port A as input.
    std::string modelRead;
    io.Read_ModelName(modelRead);
    const QString model = QString::fromLatin1(modelRead.c_str());
    const boxes::Model* row = boxes::findModel(modelRead);
    if (row && row->b.lines == 0)
        applyModelALayout();  // port A only
    if (row && row->switches == boxes::Switches::Outputs24V) {
        handOverToCompactPanel();
        return;
    }

    m_identity.label6->setText(model);
    std::string sn;
    io.Read_SN(sn);
    m_identity.label8->setText(QString::fromLatin1(sn.c_str()));

    m_frame6->setLinesOf(row);

    if (row && row->a.fixed && row->a.input) {  // port A is an input for good
        m_option1[1]->setChecked(true);  // runs the port-A direction handler
        m_frame2[0]->setEnabled(false);
        m_frame4->setEnabled(false);
        m_option1[0]->setEnabled(false);
    }
    // loadMainPanel() shows the window, which runs Form_Activate.
}

void TestForm::handOverToCompactPanel()
{
    // The serial number goes to IO4 before anything else touches it, then the title; then
    // IO4 loads and shows.
    std::string sn;
    device().Read_SN(sn);
    device().Disconnect();
    openCompactPanel(QString::fromLatin1(sn.c_str()), windowTitle());
    unload();  // Form_Unload finds nothing open; the program goes on in IO4
}

void TestForm::applyModelALayout()
{
    for (QWidget* hidden : std::initializer_list<QWidget*>{m_frame1, m_frame5, m_frame3[2], m_frame3[1], m_frame2[1],
                                                          m_label44, m_label9[3], m_label9[4], m_label9[5],
                                                          m_label444[2], m_label444[3]})
        hidden->setVisible(false);
    const auto moveBy = [](QWidget* widget, int right, int down) {
        widget->move(widget->pos() + QPoint(ui::twips(right), ui::twips(down)));
    };
    moveBy(m_frame4, 0, -2000);
    moveBy(m_frame3[0], 0, -2000);
    moveBy(m_frame6, 0, -3500);
    moveBy(m_frame7, 1000, -3500);
    setFixedHeight(height() - ui::twips(3000));
}

void TestForm::Form_Activate() { CheckFirmwareLevel(); }

void TestForm::CheckFirmwareLevel()
{
    ui::setTextColour(*m_label11, kFirmwareQuiet);
    const int level = boxes::readFirmware(device()).level;
    const std::string model = m_identity.label6->text().toStdString();
    std::string latestRevision;
    const std::int16_t latest = session::GetLatestFirmware(model, latestRevision);
    if (latest > level && level >= boxes::modelOrAnyBox(model).lowestUpdatableLevel)
        ui::setTextColour(*m_label11, kFirmwareFlag);
}

void TestForm::Label11_Click()
{
    setEnabled(false);
    if (const auto& open = firmwareInfoOpener())
        open(*this);
}

void TestForm::shownAsActive()
{
    if (m_active)
        return;
    m_active = true;
    Form_Activate();
}

bool TestForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !isUnloaded() && m_activateOnReturn) {
        shownAsActive();
    } else if (event->type() == QEvent::WindowDeactivate) {
        m_active = false;
        // The application's active window is already the one taking over: none when the
        // focus goes to another program.
        m_activateOnReturn = QApplication::activeWindow() != nullptr;
    }
    return PanelWindow::event(event);
}

// ---- switches, directions, poll ------------------------------------------------

void TestForm::Check1_Click(int index) { switchRelay(device(), *m_check1[static_cast<std::size_t>(index)], index); }

void TestForm::Check2_Click(int index) { switchLine(device(), *m_check2[static_cast<std::size_t>(index)], 'A', index); }

void TestForm::Check3_Click(int index) { switchLine(device(), *m_check3[static_cast<std::size_t>(index)], 'B', index); }

void TestForm::Option_Click(char port, int index)
{
    const bool portA = port == 'A';
    std::array<QPushButton*, 8>& boxes = portA ? m_check2 : m_check3;
    if (index == 0) {
        if (portA)
            device().Set_ByteA_As_Output();
        else
            device().Set_ByteB_As_Output();
        for (QPushButton* box : boxes)
            box->setEnabled(true);
        return;
    }
    // Input: every line's switch cleared first (its click handler drives the line low if it
    // was set) and disabled, then the direction.
    for (QPushButton* box : boxes) {
        box->setChecked(false);
        box->setEnabled(false);
    }
    if (portA)
        device().Set_ByteA_As_Input();
    else
        device().Set_ByteB_As_Input();
}

void TestForm::Timer1_Timer() { pollStatus(device(), m_label2, m_label3, m_label4); }

// ---- serial output, pulse ----------------------------------------------------

void TestForm::Command1_Click() { m_frame6->Command1_Click(); }

void TestForm::Command2_Click() { m_frame6->Command2_Click(); }

void TestForm::Command3_Click(int index)
{
    device().Set_TTLPulse(lineName('A', index), 5);
}

}  // namespace iox::panels
