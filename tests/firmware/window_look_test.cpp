// What the operator sees of every window: each text fits its control in the fonts the
// program asks for, the firmware windows' text boxes and lists keep the system colours,
// and the main panel's firmware check runs on activations from this program only.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTimer>

#include "firmware/browse_form.h"
#include "panels/io4.h"
#include "tests/firmware/update_fixture.h"

namespace iox::testing {
namespace {

// "window/text: needs N, has M" for every text wider (or, wrapped, taller) than its room.
std::vector<std::string> misfits(const QWidget& window)
{
    std::vector<std::string> out;
    const auto check = [&](const QWidget* w, const QString& text, int needed, int room) {
        if (!text.isEmpty() && needed > room)
            out.push_back(window.objectName().toStdString() + "/" + text.toStdString() + ": needs " +
                          std::to_string(needed) + ", has " + std::to_string(room) + " (" +
                          QFontInfo(w->font()).family().toStdString() + ")");
    };
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        const QFontMetrics fm(w->font());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
            if (label->wordWrap())
                check(w, label->text(), fm.boundingRect(room, Qt::TextWordWrap, label->text()).height(), room.height());
            else
                check(w, label->text(), fm.horizontalAdvance(label->text()), room.width());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const bool radio = qobject_cast<const QRadioButton*>(w) != nullptr;
            const QRect room = button->style()->subElementRect(
                radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, button);
            check(w, button->text(), fm.horizontalAdvance(button->text()), room.width());
        } else if (const auto* frame = dynamic_cast<const panels::Frame*>(w)) {
            check(w, frame->caption(), QFontMetrics(panels::frameCaptionFont()).horizontalAdvance(frame->caption()) + 10,
                  frame->width());
        }
    }
    return out;
}

using WindowLook = FirmwareTest;

// The firmware windows keep the system colour for their tracks, text boxes and lists.
TEST_F(WindowLook, EveryTextOfEveryWindowFitsItsControlAndTheFirmwareWindowsKeepTheSystemColour)
{
    panels::TestForm* panel = loadPanel();
    panels::IO4 compact;
    QString sn;
    panels::ListForm list(sn);
    firmware::FirmwareInfoForm info(*panel);
    firmware::FWForm update;
    firmware::BrowseForm browse;
    for (const QWidget* window : std::initializer_list<const QWidget*>{panel, &compact, &list, &info, &update, &browse})
        EXPECT_EQ(misfits(*window), std::vector<std::string>{}) << window->objectName().toStdString();

    const QColor system = ui::systemWindowColour();
    ASSERT_NE(system, ui::kWindowColour);
    EXPECT_EQ(ui::backgroundOf(*update.Label3()), system);
    EXPECT_EQ(ui::backgroundOf(*browse.Label4()), system);
    for (const QWidget* box : std::initializer_list<const QWidget*>{browse.Text1(), browse.Text2(), browse.Dir1(), browse.File1()})
        EXPECT_EQ(box->palette().color(QPalette::Base), system) << box->metaObject()->className();
    EXPECT_EQ(ui::backgroundOf(update), ui::kWindowColour);
    EXPECT_EQ(ui::backgroundOf(browse), ui::kWindowColour);
}

TEST_F(WindowLook, FirmwareCheckRunsWhenTheFocusComesBackFromThisProgramOnly)
{
    panels::TestForm* panel = loadPanel();
    panel->Timer1()->stop();
    QApplication::setActiveWindow(panel);
    bus.clearLog();
    QApplication::setActiveWindow(nullptr);  // another program takes the focus
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(requests(), Requests{});

    panel->Label11_Click();  // the firmware information window opens, asks, and closes
    QApplication::setActiveWindow(firmware::firmwareInfoForm());
    firmware::firmwareInfoForm()->Command2()->click();
    bus.clearLog();
    QApplication::setActiveWindow(panel);
    EXPECT_EQ(requests(), Requests{"Firmware"});
}

}  // namespace
}  // namespace iox::testing
