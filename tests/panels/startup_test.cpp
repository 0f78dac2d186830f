// The start-up with 0, 1 and several boxes, the selection window, the model table,
// activation, "(fw)", the main window's lifecycle, and the shared device's handles.

#include <QTest>

#include "panel_fixture.h"

namespace iox::testing {
namespace {

using panels::ListForm;
using panels::TestForm;

// The load's requests, then Form_Activate's on showing.
const Requests kStartUp = {"A-out", "B-out", "RelayByte 0", "SetByte A 0", "SetByte B 0", "Model", "SN", "Firmware"};

class Startup : public PanelTest {
protected:
    // Loads the main panel and notes the shared object's connected handle.
    TestForm* load()
    {
        TestForm* form = panels::loadMainPanel();
        handle = session::sharedDevice().GetUSBDeviceHandle();
        return form;
    }
    HidHandle handle = 0;
};

TEST_F(Startup, NoBoxShowsTheFailureOnceAndTheEmptyPanel)
{
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(services.events, std::vector<std::string>{"message:Connection to USB IO failed"});
    EXPECT_TRUE(services.messages[0].buttons == ui::Buttons::Ok && services.messages[0].icon == ui::Icon::None && form->isVisible());
    EXPECT_EQ(form->Label8()->text() + QString::number(form->Combo1(0)->count()), "0");
}

struct Selection {
    const char* name;
    std::function<void(QDialog&)> operatorDoes;  // none: closed by its title bar
    const char* secondSerial;
    QString chosen;
};

class StartupSelection : public Startup, public ::testing::WithParamInterface<Selection> {};

TEST_P(StartupSelection, ListsTheBoxesAndConnectsTheChosenOneOrTheFirstOnCancel)
{
    addBox("IOX-MODEL-C", "10001");
    addBox("IOX-MODEL-D", GetParam().secondSerial);
    services.onProcessEvents = [] {  // ticks queued during the start-up
        if (TestForm* form = panels::mainPanel())
            form->Timer1_Timer();
    };
    QStringList shown;
    services.onModal = [&](QDialog& dialog) {
        auto& list = dynamic_cast<ListForm&>(dialog);
        for (int i = 0; i < list.List1()->count(); ++i)
            shown << list.List1()->item(i)->text();
        shown << list.windowTitle() << QString::number(list.List1()->currentRow());
        // The list was read with temporary objects, released by now; the shared one is unconnected.
        shown << QString::number(bus.openHandles()) << (session::sharedDevice().isConnected() ? "shared open" : "");
        if (GetParam().operatorDoes)
            GetParam().operatorDoes(dialog);
    };
    TestForm* form = load();
    EXPECT_EQ(services.events, std::vector<std::string>{"modal:ListForm"});
    EXPECT_EQ(shown, QStringList({"10001  -  IOX-MODEL-C", QString(GetParam().secondSerial) + "  -  IOX-MODEL-D",
                                  "Kestrow   USB To I/O", "0", "0", ""}));
    EXPECT_EQ(form->SN_Selected, GetParam().chosen);
    EXPECT_EQ(form->Label6()->text(), GetParam().chosen == GetParam().secondSerial ? "IOX-MODEL-D" : "IOX-MODEL-C");
    // The ticks reached no box before the connection: other handles carried only the
    // discovery's and the selection window's reads.
    for (const auto& entry : bus.log())
        EXPECT_TRUE(entry.handle == handle || describe(entry.report) == "SN" || describe(entry.report) == "Model");
    const Requests sent = requests(handle);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(Requests(sent.begin(), sent.begin() + 3), Requests({"ReadA", "ReadB", "ReadRelays"}));
}

const auto doubleClickRowOne = [](QDialog& dialog) {
    QListWidget* widget = dynamic_cast<ListForm&>(dialog).List1();
    dialog.show();
    const QPoint second = widget->visualItemRect(widget->item(1)).center();
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(widget->viewport(), Qt::LeftButton, {}, second);
};

INSTANTIATE_TEST_SUITE_P(
    Choices, StartupSelection,
    ::testing::Values(Selection{"OkOnTheFirst", pickRow(0), "20001", "10001"},
                      Selection{"DoubleClickOnTheSecond", doubleClickRowOne, "20001", "20001"},
                      Selection{"Cancel", pickRow(1, false), "20001", ""},
                      Selection{"ClosedByTheTitleBar", {}, "20001", ""},
                      Selection{"SerialWithAHyphen", pickRow(1), "AB-7", "AB-7"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModelRow {
    const char* model;
    QString items;  // of each list
    QString chosen;  // clock, data, latch enable
};

class ModelTable : public Startup, public ::testing::WithParamInterface<ModelRow> {};

// Model D's port A is an input: it is turned before the window shows, with no TTL request
// (every port-A box was clear).
TEST_P(ModelTable, FillsTheSerialLinesShrinksOnlyModelATurnsOnlyModelDsPortAToInput)
{
    const ModelRow& row = GetParam();
    addBox(row.model, "10001");
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Label6()->text(), row.model);
    QStringList chosen;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(itemsOf(form->Combo1(i)).join(' '), row.items) << "list " << i;
        chosen << form->Combo1(i)->currentText();
    }
    EXPECT_EQ(chosen.join(' '), row.chosen);
    const bool modelA = row.model == std::string("IOX-MODEL-A"), inputA = row.model == std::string("IOX-MODEL-D");
    EXPECT_EQ(form->height(), ui::twips(9705) - (modelA ? ui::twips(3000) : 0));
    for (QWidget* partOfB : std::initializer_list<QWidget*>{form->Frame1(), form->Frame5(), form->Frame3(2),
                                                            form->Frame3(1), form->Frame2(1), form->Label44_0(),
                                                            form->Label9(3), form->Label9(5), form->Label444(3)})
        EXPECT_NE(partOfB->isVisibleTo(form), modelA) << partOfB->metaObject()->className();
    Requests expected = kStartUp;
    if (inputA)
        expected.insert(expected.end() - 1, "A-in");
    EXPECT_EQ(requests(handle), expected);
    EXPECT_EQ((std::vector<bool>{form->Option1(1)->isChecked(), form->Option1(0)->isEnabled(), form->Frame4()->isEnabled(),
                                 form->Check2(5)->isEnabled(), form->Check3(5)->isEnabled()}),
              (std::vector<bool>{inputA, !inputA, !inputA, !inputA, true}));
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelTable,
    ::testing::Values(ModelRow{"IOX-MODEL-A", "A0 A1 A2 A3 A4 A5 A6 A7", "A0 A1 A2"},
                      ModelRow{"IOX-MODEL-C", "A0 A1 A2 A3 A4 A5 A6 A7 B0 B1 B2 B3 B4 B5 B6 B7", "B0 B1 B2"},
                      ModelRow{"IOX-MODEL-D", "B0 B1 B2 B3 B4 B5 B6 B7", "B0 B1 B2"},
                      ModelRow{"IOX-MODEL-Z", "", "  "}));

TEST_F(Startup, FirmwareIndicatorIsQuietAfterEveryActivation)
{
    for (std::uint8_t level : {0, 2, 3, 9}) {
        TestForm* form = loadPanel({.firmware = {level, 1, 0, 0, 'A', '3'}});
        EXPECT_EQ(ui::textColourOf(*form->Label11()), panels::kFirmwareQuiet) << int(level);
        ui::setTextColour(*form->Label11(), panels::kFirmwareFlag);
        form->Form_Activate();
        EXPECT_EQ(ui::textColourOf(*form->Label11()), panels::kFirmwareQuiet) << int(level);
        panels::unloadMainPanel();
        bus.vanish(box);
    }
}

// A reload runs the whole start-up again; the firmware label disables the panel, which then
// closes only when enabled again, ending the program.
TEST_F(Startup, OneBoxConnectsWithoutSelectionReloadsAndClosesOnlyWhenEnabled)
{
    addBox("IOX-MODEL-C", "10001");
    TestForm* form = load();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Label6()->text() + " " + form->Label8()->text() + " " + form->windowTitle(),
              QString("IOX-MODEL-C 10001 ") + kPanelTitle);
    EXPECT_TRUE(form->Timer1()->isActive() && form->Timer1()->interval() == 1);
    form->Check1(2)->setChecked(true);
    panels::unloadMainPanel();
    EXPECT_FALSE(panels::mainPanel() || session::sharedDevice().isConnected());
    bus.clearLog();

    form = load();
    ASSERT_EQ(panels::mainPanel(), form);
    EXPECT_EQ(requests(handle), kStartUp);
    EXPECT_FALSE(form->Check1(2)->isChecked());  // the design state again

    TestForm* opened = nullptr;
    panels::setFirmwareInfoOpener([&](TestForm& panel) { opened = panel.isEnabled() ? nullptr : &panel; });
    EXPECT_EQ(form->Label11()->toolTip(), "Firmware - Update");
    QTest::mouseClick(form->Label11(), Qt::LeftButton);
    panels::setFirmwareInfoOpener({});
    EXPECT_EQ(opened, form) << "opened, and after the panel was disabled";
    bus.clearLog();
    form->close();
    EXPECT_TRUE(!form->isEnabled() && form->isVisible() && session::sharedDevice().isConnected());
    EXPECT_TRUE(services.events.empty() && requests().empty()) << "no selection, no message, no quit";

    form->setEnabled(true);
    form->close();
    EXPECT_FALSE(session::sharedDevice().isConnected() || form->Timer1()->isActive());
    EXPECT_EQ(services.events, std::vector<std::string>{"quit"});
}

// The shared device object goes before the backend it talks through: at the session's
// end, and when another backend takes over.
TEST(SessionHandles, TheSharedDeviceNeverOutlivesItsBackend)
{
    sim::SimBackend bus;
    for (const bool ending : {true, false}) {
        sim::SimBackend other;
        session::setDeviceBackend(other, {});
        other.addBox({});
        ASSERT_EQ(session::sharedDevice().Connect(), 1);
        if (ending)
            session::endSession();
        else
            session::setDeviceBackend(bus, {});
        EXPECT_EQ(other.openHandles(), 0u) << ending;
        EXPECT_FALSE(session::sharedDevice().isConnected()) << "a new object, on the backend in place now";
    }
    session::endSession();
}

}  // namespace
}  // namespace iox::testing
