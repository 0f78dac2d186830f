#include "panel_window.h"

#include <QCloseEvent>
#include <QTimer>

#include "device/usb_io.h"
#include "main_window.h"

namespace iox::panels {

PanelWindow::PanelWindow(QWidget* parent) : QWidget(parent), m_timer1(new QTimer(this))
{
    m_timer1->setInterval(1);
    m_timer1->setTimerType(Qt::PreciseTimer);
    connect(m_timer1, &QTimer::timeout, this, &PanelWindow::Timer1_Timer);
}

void PanelWindow::Form_Unload()
{
    try {
        device().Disconnect();
    } catch (...) {
    }
}

void PanelWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_timer1->stop();
    hide();
    Form_Unload();
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
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

}  // namespace iox::panels
