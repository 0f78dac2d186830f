#pragma once
// What every window of the application asks of the window system, in one place:
// message boxes, the beep, ending at once, waits, running pending window events and the
// hourglass go through Services, which tests replace; layout units, placement and the
// panels' colours are plain helpers.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>

class QDialog;
class QWidget;

namespace iox::ui {

// Title of every message box.
inline constexpr char kAppTitle[] = "USB To I/O Controller";

enum class Buttons { Ok, YesNo };
enum class Icon { None, Information, Question };
enum class Answer { Ok, Yes, No };

class Services {
public:
    virtual ~Services() = default;
    // A modal message box with the application's title; returns the button chosen.
    virtual Answer message(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None) = 0;
    virtual void beep() = 0;
    // Ends the program at once, no window's closing handlers run. A test's replacement
    // records the call and returns, so callers return right after calling it.
    virtual void endProgram() = 0;
    // Blocks the window-system thread for the given time; no window events run meanwhile.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
    // Lets pending window events (queued clicks, timer ticks) run to their end.
    virtual void processEvents() = 0;
    // The screen's mouse pointer: hourglass while busy, else the default.
    virtual void setBusyCursor(bool busy) = 0;
    // Shows a loaded dialog modally and returns when it has closed, with its result
    // (QDialog::Accepted or Rejected). A test's replacement drives the dialog instead.
    virtual int runModal(QDialog& dialog);
    // Ends the event loop in order, after the operator closed the main window (the
    // window's closing handlers have run). Not the same as endProgram().
    virtual void quitApplication();
};

// The services in force: Qt's own unless a test has put others in place.
Services& services();
// Puts replacement services in place (tests); nullptr goes back to Qt's.
void setServices(Services* replacement);

// Qt's services, as the application uses them.
class QtServices : public Services {
public:
    Answer message(const QString& text, Buttons buttons, Icon icon) override;
    void beep() override;
    void endProgram() override;
    void sleep(std::chrono::milliseconds duration) override;
    void processEvents() override;
    void setBusyCursor(bool busy) override;
};

// The two faces the windows were designed with. Neither exists on a Debian desktop, so each
// is asked for by its own name first, then by a packaged face of close widths (the package
// is a dependency of the program), then the system's sans-serif face.
enum class Face {
    MsSansSerif,  // the panels, the selection and firmware information windows
    Arial,        // the browse window's controls and the firmware window's buttons
};
// The families asked for, in order, for a face.
QStringList familiesOf(Face face);
QFont designFont(double pointSize, bool bold = false, bool underline = false, Face face = Face::MsSansSerif);
// MS Sans Serif 8.25 pt, the design font of plain controls.
inline QFont plainFont() { return designFont(8.25); }

// Design units: 15 twips to a pixel (Qt scales logical pixels on high-DPI screens).
constexpr int twips(int value) { return value / 15; }
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Places a window at ((screen - window) / 2, (screen - window) / 3) on its screen. The
// window's size is its client area until the window manager has framed it; once it has,
// the window is placed again, once, by its frame, title bar included.
void placeWindow(QWidget& window);

// Colour code of the panels.
inline const QColor kHigh{0x00, 0xFF, 0x00};        // line high, relay on NO, 24 V output on
inline const QColor kLow{0xFF, 0x80, 0x80};         // low, NC, off
inline const QColor kWindowColour{0xE0, 0xE0, 0xE0};
inline const QColor kNavy{0x00, 0x00, 0x80};        // frame captions, identity labels

// Background (and, for buttons, face) colour of a widget; setting the colour it already
// has does nothing.
void setBackground(QWidget& widget, const QColor& colour);
// The background of a window only: its text boxes and lists keep the system's colours.
void setFormColour(QWidget& window, const QColor& colour);
// The system's window colour, the background of text boxes and lists.
QColor systemWindowColour();
void setTextColour(QWidget& widget, const QColor& colour);
// The colour the widget's background is filled with: its background role's.
QColor backgroundOf(const QWidget& widget);
QColor textColourOf(const QWidget& widget);

}  // namespace iox::ui
