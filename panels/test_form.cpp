#include "test_form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <string>

#include "list_form.h"
#include "main_panel.h"
#include "main_window.h"
#include "panel_parts.h"
#include "session/session.h"
#include "ui_services.h"

namespace iox::panels {

namespace {

USB_IO& device() { return session::sharedDevice(); }

const QString kModelA = QStringLiteral("IOX-MODEL-A");
const QString kModelB = QStringLiteral("IOX-MODEL-B");
const QString kModelC = QStringLiteral("IOX-MODEL-C");
const QString kModelD = QStringLiteral("IOX-MODEL-D");

QStringList portLines(char port)
{
    QStringList lines;
    for (int i = 0; i < 8; ++i)
        lines << QString::fromStdString(lineName(port, i));
    return lines;
}

QRadioButton* makeOption(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* option = new QRadioButton(caption, parent);
    option->setGeometry(geometry);
    option->setFont(ui::plainFont());
    return option;
}

}  // namespace

TestForm::TestForm(QWidget* parent) : QWidget(parent)
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
    const QFont identityFont = ui::designFont(12, true);

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
    m_label5 = makeLabel(this, QStringLiteral("Model Name:"), ui::twipsRect(6360, 360, 2655, 255), bold);
    m_label6 = makeNavyLabel(this, kModelC, ui::twipsRect(6360, 600, 2655, 375), identityFont);
    m_label7 = makeLabel(this, QStringLiteral("Serial Number:"), ui::twipsRect(6360, 1080, 2655, 255), bold);
    m_label8 = makeNavyLabel(this, QString(), ui::twipsRect(6360, 1320, 2655, 375), identityFont);
    for (QLabel* identity : {m_label6, m_label8}) {
        identity->setFrameShape(QFrame::Box);
        identity->setAlignment(Qt::AlignCenter);
    }
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
        this, ui::twipsRect(240, 6840, 5175, 2655), [] () -> USB_IO& { return device(); },
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
    const QFont heading = ui::designFont(8.25, true, true);
    m_label9[2] = makeLabel(m_frame7, QStringLiteral("Digital Legend"), ui::twipsRect(0, 0, 1455, 255), heading);
    m_label444[0] = makeSwatch(m_frame7, ui::twipsRect(0, 360, 375, 375), ui::kLow);
    m_label444[1] = makeSwatch(m_frame7, ui::twipsRect(0, 840, 375, 375), ui::kHigh);
    m_label9[0] = makeLabel(m_frame7, QStringLiteral("\"- Low\""), ui::twipsRect(600, 480, 855, 255));
    m_label9[1] = makeLabel(m_frame7, QStringLiteral("\"- High\""), ui::twipsRect(600, 960, 975, 255));
    m_label9[5] = makeLabel(m_frame7, QStringLiteral("Relays Legend"), ui::twipsRect(1920, 0, 1815, 255), heading);
    m_label444[2] = makeSwatch(m_frame7, ui::twipsRect(1920, 360, 375, 375), ui::kLow);
    m_label444[3] = makeSwatch(m_frame7, ui::twipsRect(1920, 840, 375, 375), ui::kHigh);
    m_label9[4] = makeLabel(m_frame7, QStringLiteral("- Common to NC"), ui::twipsRect(2520, 480, 1575, 255));
    m_label9[3] = makeLabel(m_frame7, QStringLiteral("- Common to NO"), ui::twipsRect(2520, 960, 1695, 255));

    // Timer1: 1 ms, armed by the load.
    m_timer1 = new QTimer(this);
    m_timer1->setInterval(1);
    m_timer1->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    // Handlers, connected after the design state so that it raises none.
    for (int i = 0; i < 8; ++i) {
        onToggle(*m_check1[static_cast<std::size_t>(i)], [this, i] { Check1_Click(i); });
        onToggle(*m_check2[static_cast<std::size_t>(i)], [this, i] { Check2_Click(i); });
        onToggle(*m_check3[static_cast<std::size_t>(i)], [this, i] { Check3_Click(i); });
    }
    for (int i = 0; i < 2; ++i) {
        connect(m_option1[static_cast<std::size_t>(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Option1_Click(i);
        });
        connect(m_option2[static_cast<std::size_t>(i)], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Option2_Click(i);
        });
    }
    connect(m_command3, &QPushButton::clicked, this, [this] { Command3_Click(0); });
}

QLabel* TestForm::Label6() const { return m_label6; }
QLabel* TestForm::Label8() const { return m_label8; }
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

// ---- start-up, activation, closing -------------------------------------------

void TestForm::Form_Load()
{
    m_timer1->start();  // Timer1 runs from the load; ticks before Connect reach no box
    ui::placeWindow(*this);  // 1

    USB_IO& io = device();
    std::string list;
    const std::int16_t count = io.Get_Available_SN_List(list);  // 2
    std::int16_t result = 0;
    if (count > 1) {  // 3
        SN_Selected.clear();
        ListForm::showModal(SN_Selected, this);
        result = io.Connect(SN_Selected.toLatin1().toStdString());
    } else {
        result = io.Connect(std::string());
    }
    if (result == 0)  // 4
        ui::services().message(QStringLiteral("Connection to USB IO failed"), ui::Buttons::Ok, ui::Icon::None);

    io.Set_ByteA_As_Output();  // 5
    io.Set_ByteB_As_Output();
    io.Set_RelayByte(0);
    io.Set_ByteA(0);
    io.Set_ByteB(0);

    std::string modelRead;  // 6
    io.Read_ModelName(modelRead);
    const QString model = QString::fromLatin1(modelRead.c_str());

    if (model == kModelA)  // 7
        applyModelALayout();
    if (model == kModelB) {  // 8
        handOverToCompactPanel();
        return;
    }

    m_label6->setText(model);  // 9
    std::string sn;
    io.Read_SN(sn);
    m_label8->setText(QString::fromLatin1(sn.c_str()));

    fillSerialLines(model);  // 10

    if (model == kModelD) {  // 11
        m_option1[1]->setChecked(true);  // runs Option1_Click(1)
        m_frame2[0]->setEnabled(false);
        m_frame4->setEnabled(false);
        m_option1[0]->setEnabled(false);
    }
    // 12: loadMainPanel() shows the window, which runs Form_Activate.
}

void TestForm::handOverToCompactPanel()
{
    std::string sn;
    device().Read_SN(sn);  // 8.1
    device().Disconnect();  // 8.2
    // 8.3 to 8.5: IO4.SN_Selected first, then the title, then IO4 loads and shows.
    openCompactPanel(QString::fromLatin1(sn.c_str()), windowTitle());
    unload();  // 8.6: Form_Unload finds nothing open; the program goes on in IO4
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

void TestForm::fillSerialLines(const QString& model)
{
    if (model == kModelA)
        m_frame6->setLines(portLines('A'), 0, 1, 2);
    else if (model == kModelC)
        m_frame6->setLines(portLines('A') + portLines('B'), 8, 9, 10);
    else if (model == kModelD)
        m_frame6->setLines(portLines('B'), 0, 1, 2);
    else
        m_frame6->setLines({}, -1, -1, -1);
}

void TestForm::Form_Activate() { CheckFirmwareLevel(); }

void TestForm::CheckFirmwareLevel()
{
    ui::setTextColour(*m_label11, kFirmwareQuiet);
    std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::string revision;
    const std::int16_t level = device().GetExtFirmware(a0, a1, a2, a3, revision);
    std::string latestRevision;
    const std::int16_t latest = session::GetLatestFirmware(m_label6->text().toStdString(), latestRevision);
    if (latest > level && level >= 3)
        ui::setTextColour(*m_label11, kFirmwareFlag);
}

void TestForm::Form_Unload()
{
    try {
        device().Disconnect();
    } catch (...) {
    }
}

void TestForm::Label11_Click()
{
    setEnabled(false);
    if (const auto& open = firmwareInfoOpener())
        open(*this);
}

void TestForm::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_timer1->stop();
    hide();
    Form_Unload();
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
    if (event->type() == QEvent::WindowActivate && !m_unloaded)
        shownAsActive();
    else if (event->type() == QEvent::WindowDeactivate)
        m_active = false;
    return QWidget::event(event);
}

void TestForm::closeEvent(QCloseEvent* event)
{
    // Only the operator closes the window this way; the program uses unload(). A disabled
    // panel (a firmware window is open, or an update runs) stays: ending the program then
    // could leave the box in its bootloader.
    if (!isEnabled() && !m_unloaded) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_unloaded)
        return;
    unload();
    mainWindowClosed();
}

// ---- switches, directions, poll ------------------------------------------------

void TestForm::Check1_Click(int index) { switchRelay(device(), *m_check1[static_cast<std::size_t>(index)], index); }

void TestForm::Check2_Click(int index) { switchLine(device(), *m_check2[static_cast<std::size_t>(index)], 'A', index); }

void TestForm::Check3_Click(int index) { switchLine(device(), *m_check3[static_cast<std::size_t>(index)], 'B', index); }

void TestForm::setPortDirectionInput(std::array<QPushButton*, 8>& boxes)
{
    for (QPushButton* box : boxes) {
        box->setChecked(false);  // runs the click handler if it was set
        box->setEnabled(false);
    }
}

void TestForm::Option1_Click(int index)
{
    if (index == 0) {
        device().Set_ByteA_As_Output();
        for (QPushButton* box : m_check2)
            box->setEnabled(true);
    } else {
        setPortDirectionInput(m_check2);
        device().Set_ByteA_As_Input();
    }
}

void TestForm::Option2_Click(int index)
{
    if (index == 0) {
        device().Set_ByteB_As_Output();
        for (QPushButton* box : m_check3)
            box->setEnabled(true);
    } else {
        setPortDirectionInput(m_check3);
        device().Set_ByteB_As_Input();
    }
}

void TestForm::Timer1_Timer()
{
    USB_IO& io = device();
    std::uint8_t a = 0, b = 0, r = 0;
    io.ReadByteA(a);
    io.ReadByteB(b);
    io.Read_Relays_Byte(r);
    showBits(m_label2, a);
    showBits(m_label3, b);
    showBits(m_label4, r);
}

// ---- serial output, pulse ----------------------------------------------------

void TestForm::Command1_Click() { m_frame6->Command1_Click(); }

void TestForm::Command2_Click() { m_frame6->Command2_Click(); }

void TestForm::Command3_Click(int index)
{
    device().Set_TTLPulse(lineName('A', index), 5);
}

}  // namespace iox::panels
