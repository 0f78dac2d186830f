// What the operator sees and feels on the main panel: switch faces in exactly their colours,
// and a box that stops answering does not freeze the panel.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include <set>

#include "panel_fixture.h"

namespace iox::testing {
namespace {

using LookAndPoll = LoadedPanel;

// The colours of a switch's face near its edges and corners, clear of the caption.
std::set<QRgb> faceColours(QWidget* box)
{
    const QImage image = box->grab().toImage();
    const int w = image.width(), h = image.height();
    std::set<QRgb> colours;
    for (const QPoint at : {QPoint(3, h / 2), QPoint(w - 4, h / 2), QPoint(w / 2, 3), QPoint(3, 3), QPoint(w - 4, h - 4)})
        colours.insert(image.pixel(at) & 0xFFFFFF);
    return colours;
}

TEST_F(LookAndPoll, SwitchFacesAreFlatInTheirExactColoursOffOnAndHovered)
{
    QPushButton* box = form->Check1(0);
    const std::set<QRgb> low{ui::kLow.rgb() & 0xFFFFFF}, high{ui::kHigh.rgb() & 0xFFFFFF};
    EXPECT_EQ(faceColours(box), low);
    box->setAttribute(Qt::WA_UnderMouse, true);
    EXPECT_EQ(faceColours(box), low);
    box->click();
    EXPECT_EQ(faceColours(box), high);
    box->setAttribute(Qt::WA_UnderMouse, false);
    EXPECT_EQ(faceColours(box), high);
}

TEST_F(LookAndPoll, ASilentBoxTakesClicksAtOnceAndIsShownAgainOnTheTickAfterItAnswers)
{
    // The operator clicks while a tick waits for the silent box.
    QElapsedTimer clock;
    qint64 relayAt = -1;
    bus.setTraceSink([&](sim::Direction direction, const std::string&, const Report& r) {
        if (direction == sim::Direction::Out && r[1] == cmd::ReadByteA && !clock.isValid()) {
            clock.start();
            QMetaObject::invokeMethod(form, [this] { form->Check1(3)->click(); }, Qt::QueuedConnection);
        }
        if (direction == sim::Direction::Out && r[1] == cmd::SetRelay)
            relayAt = clock.elapsed();
    });
    bus.faults(box).silent = true;
    QElapsedTimer spun;
    spun.start();
    while (relayAt < 0 && spun.elapsed() < 4000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_GE(relayAt, 0);
    EXPECT_LT(relayAt, 250);

    bus.faults(box).silent = false;
    session::sharedDevice().Set_ByteA(0x01);
    clock.restart();
    while (colourOf(form->Label2(0)) != ui::kHigh && clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_LT(clock.elapsed(), 300);
}

}  // namespace
}  // namespace iox::testing
