#include "ui_services.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFontDatabase>
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

QFont designFont(double pointSize, bool bold, bool underline)
{
    static const QString family = [] {
        const QString design = QStringLiteral("MS Sans Serif");
        return QFontDatabase::families().contains(design)
                   ? design
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void placeWindow(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window.frameGeometry().size();
    window.move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 3);
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

QColor backgroundOf(const QWidget& widget) { return widget.palette().color(widget.backgroundRole()); }
QColor textColourOf(const QWidget& widget) { return widget.palette().color(QPalette::WindowText); }

}  // namespace iox::ui
