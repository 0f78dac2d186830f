#pragma once
// What the main panel (TestForm) and the compact panel (IO4) share as windows: the poll
// timer Timer1 (1 ms, started by the load, its tick the panel's Timer1_Timer), closing by
// the program (unload) or by the operator, and Form_Unload's Disconnect of the panel's own
// device object, errors ignored.

#include <QWidget>

class QTimer;

namespace iox {
class USB_IO;
}

namespace iox::panels {

class PanelWindow : public QWidget {
public:
    // The device object every handler of the panel talks to.
    virtual USB_IO& device() = 0;
    virtual void Timer1_Timer() = 0;

    QTimer* Timer1() const { return m_timer1; }
    void Form_Unload();
    // Closes the window without ending the program: Timer1 stops, Form_Unload runs once.
    void unload();
    bool isUnloaded() const { return m_unloaded; }

protected:
    explicit PanelWindow(QWidget* parent);
    // The operator's closing: unloads the panel and ends the program. A disabled panel (a
    // firmware window is open, or an update runs) stays: ending the program then could
    // leave the box in its bootloader.
    void closeEvent(QCloseEvent* event) override;

private:
    QTimer* m_timer1;
    bool m_unloaded = false;
};

}  // namespace iox::panels
