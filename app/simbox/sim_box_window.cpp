#include "sim_box_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/simbox/box_page.h"
#include "device/sim/sim_backend.h"
#include "panels/ui_services.h"

namespace iox::simbox {

SimBoxWindow::SimBoxWindow(sim::SimBackend& bus, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(kSimBoxWindowTitle));
    setFont(ui::plainFont());
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setTabBarAutoHide(true);  // a single box needs no tabs
    layout->addWidget(m_tabs);
    for (std::size_t i = 0; i < bus.boxCount(); ++i) {
        auto* page = new BoxPage(bus, i, m_tabs);
        const auto& config = bus.box(i).config();
        m_tabs->addTab(page, QString::fromStdString(config.serial + " (" + config.model + ")"));
        m_pages.push_back(page);
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &SimBoxWindow::refresh);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshInterval);
    connect(m_timer, &QTimer::timeout, this, &SimBoxWindow::refresh);
    m_timer->start();
}

void SimBoxWindow::refresh()
{
    if (auto* shown = static_cast<BoxPage*>(m_tabs->currentWidget()))
        shown->refresh();
}

int SimBoxWindow::pageCount() const { return static_cast<int>(m_pages.size()); }

BoxPage* SimBoxWindow::page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }

void SimBoxWindow::placeBesidePanel()
{
    adjustSize();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(std::max(room.left(), room.right() - frame.width() - 8), room.top() + 8);
}

}  // namespace iox::simbox
