#include "ui_services.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace iox::ui {

namespace {
Services* g_replacement = nullptr;
// The packaged face that stands in for MS Sans Serif.
constexpr char kPanelFamily[] = "Liberation Sans";
}

Services& services()
{
    static QtServices qt;
    return g_replacement ? *g_replacement : qt;
}

void setServices(Services* replacement) { g_replacement = replacement; }

Answer QtServices::message(const QString& text, Buttons buttons, Icon icon)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information
                    : icon == Icon::Question  ? QMessageBox::Question
                                              : QMessageBox::NoIcon,
                    QString::fromLatin1(kAppTitle), text,
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    const int chosen = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return chosen == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtServices::beep() { QApplication::beep(); }

void QtServices::endProgram()
{
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

void QtServices::sleep(std::chrono::milliseconds duration)
{
    QThread::msleep(static_cast<unsigned long>(duration.count() < 0 ? 0 : duration.count()));
}

void QtServices::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtServices::setBusyCursor(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
}

int Services::runModal(QDialog& dialog) { return dialog.exec(); }

void Services::quitApplication() { QCoreApplication::quit(); }

QStringList familiesOf(Face face)
{
    if (face == Face::Arial)
        return {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};
    return {QStringLiteral("MS Sans Serif"), QString::fromLatin1(kPanelFamily)};
}

QFont designFont(double pointSize, bool bold, bool underline, Face face)
{
    QFont font;
    font.setFamilies(familiesOf(face));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

namespace {

void centre(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window.frameGeometry().size();
    window.move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 3);
}

// Waits for the window manager's frame, which arrives after the window is first shown, and
// places the window by it once. Without a window manager no frame comes and nothing moves.
class PlaceByFrame : public QObject {
public:
    static constexpr char kName[] = "placeByFrame";
    explicit PlaceByFrame(QWidget& window) : QObject(&window), m_window(window)
    {
        setObjectName(QString::fromLatin1(kName));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const auto type = event->type();
        if ((type == QEvent::Move || type == QEvent::Show || type == QEvent::Resize || type == QEvent::Expose)
            && m_window.isVisible() && m_window.frameGeometry().size() != m_window.size()) {
            m_window.removeEventFilter(this);
            centre(m_window);
            deleteLater();
        }
        return false;
    }

private:
    QWidget& m_window;
};

}  // namespace

void placeWindow(QWidget& window)
{
    centre(window);
    const bool waiting = window.findChild<QObject*>(QString::fromLatin1(PlaceByFrame::kName), Qt::FindDirectChildrenOnly);
    if (window.frameGeometry().size() == window.size() && !waiting)
        new PlaceByFrame(window);
}

void setBackground(QWidget& widget, const QColor& colour)
{
    if (backgroundOf(widget) == colour && widget.autoFillBackground())
        return;
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Button, colour);
    palette.setColor(QPalette::Base, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void setTextColour(QWidget& widget, const QColor& colour)
{
    if (textColourOf(widget) == colour)
        return;
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}

void setFormColour(QWidget& window, const QColor& colour)
{
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, colour);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
}

QColor systemWindowColour() { return QGuiApplication::palette().color(QPalette::Base); }

QColor backgroundOf(const QWidget& widget) { return widget.palette().color(widget.backgroundRole()); }
QColor textColourOf(const QWidget& widget) { return widget.palette().color(QPalette::WindowText); }

}  // namespace iox::ui
