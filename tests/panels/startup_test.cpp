// The start-up with 0, 1 and several boxes, the selection window, the model
// table, the hand-over to IO4, activation, "(fw)" and the main window's lifecycle.

#include <algorithm>
#include <cctype>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "panel_fixture.h"
#include "panels/io4.h"
#include "panels/list_form.h"
#include "panels/main_panel.h"
#include "panels/panel_parts.h"
#include "panels/test_form.h"

namespace iox::testing {
namespace {

using panels::ListForm;
using panels::TestForm;

const Requests kIdleAndIdentity = {"A-out", "B-out", "RelayByte 0", "SetByte A 0", "SetByte B 0", "Model", "SN"};

QStringList itemsOf(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

QStringList entriesOf(const QListWidget* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    return entries;
}

QStringList lines(char port, int from = 0, int to = 7)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString("%1%2").arg(port).arg(i);
    return out;
}

class Startup : public PanelTest {
protected:
    // Loads the main panel; the connected handle of the shared object afterwards.
    TestForm* load()
    {
        TestForm* form = panels::loadMainPanel();
        handle = app::sharedDevice().GetUSBDeviceHandle();
        return form;
    }
    HidHandle handle = 0;
};

// ---- zero and one box ------------------------------------------------------------------

TEST_F(Startup, NoBoxShowsTheFailureOnceAndTheEmptyPanel)
{
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, "Connection to USB IO failed");
    EXPECT_EQ(services.messages[0].buttons, ui::Buttons::Ok);
    EXPECT_EQ(services.messages[0].icon, ui::Icon::None);
    EXPECT_EQ(services.modals, 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Label6()->text(), "");
    EXPECT_EQ(form->Label8()->text(), "");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form->Combo1(i)->count(), 0);
        EXPECT_EQ(form->Combo1(i)->currentText(), "");
    }
    EXPECT_TRUE(form->Frame1()->isVisibleTo(form));  // design layout
    form->Timer1_Timer();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(colourOf(form->Label2(i)), ui::kLow);
        EXPECT_EQ(colourOf(form->Label4(i)), ui::kLow);
    }
}

TEST_F(Startup, OneBoxConnectsWithoutSelectionAndSendsTheIdleStateInOrder)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(services.modals, 0);
    EXPECT_TRUE(services.messages.empty());
    ASSERT_TRUE(app::sharedDevice().isConnected());
    Requests expected = kIdleAndIdentity;
    expected.push_back("Firmware");  // Form_Activate on showing
    EXPECT_EQ(requestsOn(handle), expected);
    EXPECT_EQ(form->Label6()->text(), "IOX-MODEL-C");
    EXPECT_EQ(form->Label8()->text(), "10001");
    EXPECT_EQ(form->windowTitle(), "Kestrow   USB To I/O  Controller -   (Ver A3)");
    EXPECT_TRUE(form->Timer1()->isActive());
    EXPECT_EQ(form->Timer1()->interval(), 1);
    EXPECT_EQ(panels::mainPanel(), form);
}

// ---- several boxes: the selection window -------------------------------------------------

TEST_F(Startup, TwoBoxesListEntriesPreselectTheFirstAndOkConnectsIt)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-D", "20001");
    QStringList shown;
    int selected = -1;
    QString title;
    services.onModal = [&](QDialog& dialog) {
        auto& list = dynamic_cast<ListForm&>(dialog);
        shown = entriesOf(list.List1());
        selected = list.List1()->currentRow();
        title = list.windowTitle();
        list.Command1()->click();
    };
    TestForm* form = load();
    EXPECT_EQ(services.modals, 1);
    EXPECT_EQ(title, "Kestrow   USB To I/O");
    EXPECT_EQ(shown, QStringList({"10001  -  IOX-MODEL-C", "20001  -  IOX-MODEL-D"}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(form->SN_Selected, "10001");
    EXPECT_EQ(boxOf(handle), 0u);
    EXPECT_EQ(form->Label8()->text(), "10001");
}

TEST_F(Startup, DoubleClickOnTheSecondEntryConnectsTheSecondBox)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-C", "20001");
    services.onModal = [&](QDialog& dialog) {
        auto& list = dynamic_cast<ListForm&>(dialog);
        dialog.show();
        QListWidget* widget = list.List1();
        const QRect second = widget->visualItemRect(widget->item(1));
        QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, second.center());
    };
    TestForm* form = load();
    EXPECT_EQ(form->SN_Selected, "20001");
    EXPECT_EQ(boxOf(handle), 1u);
    EXPECT_EQ(form->Label8()->text(), "20001");
}

TEST_F(Startup, CancelLeavesTheSerialNumberEmptyAndConnectsTheFirstBox)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-C", "20001");
    services.onModal = [](QDialog& dialog) {
        auto& list = dynamic_cast<ListForm&>(dialog);
        list.List1()->setCurrentRow(1);
        list.Command2()->click();
    };
    TestForm* form = load();
    EXPECT_EQ(form->SN_Selected, "");
    EXPECT_EQ(boxOf(handle), 0u);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Startup, ClosingTheSelectionWindowActsAsCancel)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-C", "20001");
    // No onModal: the recording services close the window as its title bar would.
    TestForm* form = load();
    EXPECT_EQ(services.modals, 1);
    EXPECT_EQ(form->SN_Selected, "");
    EXPECT_EQ(boxOf(handle), 0u);
}

TEST_F(Startup, ASerialNumberWithAHyphenIsHandedOverWhole)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-D", "AB-7");
    services.onModal = [](QDialog& dialog) {
        auto& list = dynamic_cast<ListForm&>(dialog);
        list.List1()->setCurrentRow(1);
        list.Command1()->click();
    };
    TestForm* form = load();
    EXPECT_EQ(form->SN_Selected, "AB-7");
    EXPECT_EQ(boxOf(handle), 1u);
    EXPECT_EQ(form->Label6()->text(), "IOX-MODEL-D");
}

TEST(ListFormEntry, TheSerialNumberIsWhatStandsBeforeTheSeparator)
{
    EXPECT_EQ(ListForm::serialOfEntry("10001  -  IOX-MODEL-C"), "10001");
    EXPECT_EQ(ListForm::serialOfEntry("AB-7-X  -  IOX-MODEL-C"), "AB-7-X");
    EXPECT_EQ(ListForm::serialOfEntry("  10001  "), "10001");  // no separator: the whole text
    EXPECT_EQ(ListForm::serialOfEntry("A-1"), "A-1");
    EXPECT_EQ(ListForm::serialOfEntry(""), "");
}

TEST_F(Startup, TheSelectionWindowUsesTemporaryObjectsAndLeavesTheSharedOneUnconnected)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-C", "20001");
    bool sharedConnectedWhileOpen = true;
    std::size_t handlesWhileOpen = 99;
    services.onModal = [&](QDialog& dialog) {
        sharedConnectedWhileOpen = app::sharedDevice().isConnected();
        handlesWhileOpen = bus.openHandles();
        dialog.reject();
    };
    load();
    EXPECT_FALSE(sharedConnectedWhileOpen);
    EXPECT_EQ(handlesWhileOpen, 0u);  // both temporaries released when the load ended
}

// ---- the model table ---------------------------------------------------------------------

struct ModelRow {
    const char* model;
    QStringList items;
    QStringList chosen;  // clock, data, latch enable
};

class ModelTable : public Startup, public ::testing::WithParamInterface<ModelRow> {};

TEST_P(ModelTable, FillsAndPreselectsTheSerialLines)
{
    const ModelRow& row = GetParam();
    addBox(row.model, "10001");
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Label6()->text(), row.model);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(itemsOf(form->Combo1(i)), row.items) << "list " << i;
        EXPECT_EQ(form->Combo1(i)->currentText(), row.chosen.value(i)) << "list " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelTable,
    ::testing::Values(ModelRow{"IOX-MODEL-A", lines('A'), {"A0", "A1", "A2"}},
                      ModelRow{"IOX-MODEL-C", lines('A') + lines('B'), {"B0", "B1", "B2"}},
                      ModelRow{"IOX-MODEL-D", lines('B'), {"B0", "B1", "B2"}},
                      ModelRow{"IOX-MODEL-Z", {}, {"", "", ""}}, ModelRow{"iox-model-c", {}, {"", "", ""}},
                      ModelRow{"", {}, {"", "", ""}}),
    [](const auto& info) {
        std::string name = info.param.model;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name.empty() ? std::string("empty") : name + "_" + std::to_string(info.index);
    });

TEST_F(Startup, ModelCKeepsTheDesignLayout)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* form = load();
    for (QWidget* w : std::initializer_list<QWidget*>{form->Frame1(), form->Frame5(), form->Frame3(1), form->Frame3(2),
                                                      form->Frame2(1), form->Label44_0(), form->Label9(3)})
        EXPECT_TRUE(w->isVisibleTo(form));
    EXPECT_EQ(form->Frame4()->geometry(), ui::twipsRect(240, 3720, 5175, 1335));
    EXPECT_EQ(form->height(), ui::twips(9705));
    EXPECT_TRUE(form->Check2(0)->isEnabled());
    EXPECT_TRUE(form->Option1(0)->isChecked());
}

TEST_F(Startup, ModelAHidesRelaysAndPortBAndMovesTheRest)
{
    addBox("IOX-MODEL-A", "10001");
    TestForm* form = load();
    for (QWidget* hidden : std::initializer_list<QWidget*>{form->Frame1(), form->Frame5(), form->Frame3(2),
                                                           form->Frame3(1), form->Frame2(1), form->Label44_0(),
                                                           form->Label9(3), form->Label9(4), form->Label9(5),
                                                           form->Label444(2), form->Label444(3)})
        EXPECT_FALSE(hidden->isVisibleTo(form)) << hidden->metaObject()->className();
    EXPECT_TRUE(form->Frame4()->isVisibleTo(form));
    EXPECT_EQ(form->Frame4()->pos(), QPoint(ui::twips(240), ui::twips(3720) - ui::twips(2000)));
    EXPECT_EQ(form->Frame3(0)->pos(), QPoint(ui::twips(5640), ui::twips(3960) - ui::twips(2000)));
    EXPECT_EQ(form->Frame6()->pos(), QPoint(ui::twips(240), ui::twips(6840) - ui::twips(3500)));
    EXPECT_EQ(form->Frame7()->pos(), QPoint(ui::twips(5640) + ui::twips(1000), ui::twips(7320) - ui::twips(3500)));
    EXPECT_EQ(form->height(), ui::twips(9705) - ui::twips(3000));
}

TEST_F(Startup, ModelDTurnsPortAToInputBeforeTheWindowShows)
{
    addBox("IOX-MODEL-D", "20001");
    TestForm* form = load();
    Requests expected = kIdleAndIdentity;
    expected.push_back("A-in");  // no TTL: every port-A box was clear
    expected.push_back("Firmware");
    EXPECT_EQ(requestsOn(handle), expected);
    EXPECT_TRUE(form->Option1(1)->isChecked());
    EXPECT_FALSE(form->Option1(0)->isEnabled());
    EXPECT_FALSE(form->Frame2(0)->isEnabled());
    EXPECT_FALSE(form->Frame4()->isEnabled());
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(form->Check2(i)->isEnabled());
        EXPECT_FALSE(form->Check2(i)->isChecked());
        EXPECT_TRUE(form->Check3(i)->isEnabled());
    }
}

// ---- the hand-over to IO4 ------------------------------------------------------------------

TEST_F(Startup, ModelBHandsOverToTheCompactPanel)
{
    addBox("IOX-MODEL-B", "30001");
    HidHandle sharedHandle = 0;
    services.onMessage = [](const QString&) {};
    TestForm* form = panels::loadMainPanel();
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(panels::mainPanel(), nullptr);
    EXPECT_FALSE(app::sharedDevice().isConnected());
    EXPECT_EQ(services.quits, 0);
    EXPECT_TRUE(services.messages.empty());

    panels::IO4* io4 = panels::compactPanel();
    ASSERT_NE(io4, nullptr);
    EXPECT_TRUE(io4->isVisible());
    EXPECT_EQ(io4->SN_Selected, "30001");
    EXPECT_EQ(io4->windowTitle(), "Kestrow   USB To I/O  Controller -   (Ver A3)");
    EXPECT_TRUE(io4->device().isConnected());
    EXPECT_TRUE(io4->Timer1()->isActive());

    // The shared object: idle state, model name, serial number, then closed; IO4's own
    // object: its eight load requests (Connect by serial number walks the boxes first).
    const HidHandle own = io4->device().GetUSBDeviceHandle();
    for (const auto& entry : bus.log())
        if (entry.handle != own && describe(entry.report) == "A-out")
            sharedHandle = entry.handle;
    EXPECT_EQ(requestsOn(sharedHandle), kIdleAndIdentity);
    EXPECT_EQ(requestsOn(own), kIdleAndIdentity);
    std::size_t lastShared = 0, firstOwn = bus.log().size();
    for (std::size_t i = 0; i < bus.log().size(); ++i) {
        if (bus.log()[i].handle == sharedHandle)
            lastShared = i;
        if (bus.log()[i].handle == own && firstOwn == bus.log().size())
            firstOwn = i;
    }
    EXPECT_LT(lastShared, firstOwn);
    EXPECT_EQ(bus.openHandles(), 1u);  // only IO4's

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(itemsOf(io4->Combo1(i)), QStringList({"B0", "B1", "B2", "B3"}));
    EXPECT_EQ(io4->Combo1(0)->currentText(), "B0");
    EXPECT_EQ(io4->Combo1(1)->currentText(), "B1");
    EXPECT_EQ(io4->Combo1(2)->currentText(), "B2");
    EXPECT_EQ(io4->Label6()->text(), "IOX-MODEL-B");
    EXPECT_EQ(io4->Label8()->text(), "30001");
}

// ---- activation, "(fw)", closing -------------------------------------------------------

TEST_F(Startup, FirmwareIndicatorIsQuietAfterEveryActivation)
{
    for (std::uint8_t level : {std::uint8_t{0}, std::uint8_t{2}, std::uint8_t{3}, std::uint8_t{9}}) {
        SCOPED_TRACE(int(level));
        sim::BoxConfig config;
        config.firmware[0] = level;
        const std::size_t box = bus.addBox(config);
        TestForm* form = panels::loadMainPanel();
        EXPECT_EQ(ui::textColourOf(*form->Label11()), panels::kFirmwareQuiet);
        ui::setTextColour(*form->Label11(), panels::kFirmwareFlag);
        form->Form_Activate();
        EXPECT_EQ(ui::textColourOf(*form->Label11()), panels::kFirmwareQuiet);
        panels::unloadMainPanel();
        bus.vanish(box);
    }
}

TEST_F(Startup, FirmwareLabelDisablesThePanelAndOpensTheInformationWindow)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* opened = nullptr;
    bool enabledWhenOpened = true;
    panels::setFirmwareInfoOpener([&](TestForm& form) {
        opened = &form;
        enabledWhenOpened = form.isEnabled();
    });
    TestForm* form = load();
    EXPECT_EQ(form->Label11()->text(), "(fw)");
    EXPECT_EQ(form->Label11()->toolTip(), "Firmware - Update");
    QTest::mouseClick(form->Label11(), Qt::LeftButton);
    EXPECT_EQ(opened, form);
    EXPECT_FALSE(enabledWhenOpened);
    EXPECT_FALSE(form->isEnabled());
    panels::setFirmwareInfoOpener({});
    form->setEnabled(true);
    form->Label11_Click();  // no opener: only disables
    EXPECT_FALSE(form->isEnabled());
}

TEST_F(Startup, OperatorClosingTheMainPanelDisconnectsAndEndsTheProgram)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* form = load();
    ASSERT_TRUE(app::sharedDevice().isConnected());
    form->close();
    EXPECT_FALSE(app::sharedDevice().isConnected());
    EXPECT_FALSE(form->Timer1()->isActive());
    EXPECT_EQ(services.quits, 1);
    EXPECT_EQ(services.ends, 0);
}

TEST_F(Startup, ADisabledMainPanelCannotBeClosedByTheOperator)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* form = load();
    form->setEnabled(false);  // as while a firmware window is open
    bus.clearLog();
    form->close();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(app::sharedDevice().isConnected());
    EXPECT_EQ(services.quits, 0);
    EXPECT_TRUE(requests().empty());

    form->setEnabled(true);
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(services.quits, 1);
}

TEST_F(Startup, UnloadAndReloadRunTheWholeStartUpAgainWithoutEndingTheProgram)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* first = load();
    first->Check1(2)->setChecked(true);
    panels::unloadMainPanel();
    EXPECT_EQ(panels::mainPanel(), nullptr);
    EXPECT_FALSE(app::sharedDevice().isConnected());
    EXPECT_EQ(services.quits, 0);
    bus.clearLog();

    TestForm* second = load();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(panels::mainPanel(), second);
    Requests expected = kIdleAndIdentity;
    expected.push_back("Firmware");
    EXPECT_EQ(requestsOn(handle), expected);
    EXPECT_FALSE(second->Check1(2)->isChecked());  // the design state again
    second->Form_Activate();  // as the firmware updater calls it
    EXPECT_EQ(requestsOn(handle).back(), "Firmware");
    EXPECT_EQ(services.quits, 0);
}

TEST_F(Startup, TicksDuringTheStartUpReachNoBoxBeforeTheConnection)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-C", "20001");
    // Let the panel's timer run whenever a device operation lets events run.
    TestForm* seen = nullptr;
    services.onProcessEvents = [&] {
        if (TestForm* form = panels::mainPanel()) {
            seen = form;
            form->Timer1_Timer();
        }
    };
    services.onModal = [](QDialog& dialog) { dynamic_cast<ListForm&>(dialog).Command1()->click(); };
    TestForm* form = load();
    EXPECT_EQ(seen, form);
    // Polls before the connection sent nothing: every other handle carried only the
    // discovery's serial-number reads and the selection window's model-name reads;
    // polls on the connection come once it exists.
    for (const auto& entry : bus.log()) {
        if (entry.handle != handle) {
            const std::string what = describe(entry.report);
            EXPECT_TRUE(what == "SN" || what == "Model") << what;
        }
    }
    const Requests sent = requestsOn(handle);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Requests(sent.begin(), sent.begin() + 3), Requests({"ReadA", "ReadB", "ReadRelays"}));
    EXPECT_NE(std::find(sent.begin(), sent.end(), "A-out"), sent.end());
}

}  // namespace
}  // namespace iox::testing
