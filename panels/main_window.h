#pragma once
// The main window's bookkeeping beyond panels/main_panel.h: which window is the main one
// (TestForm or, after the start-up's hand-over, IO4) and how the program ends with it.
//
// The program ends (ui::services().quitApplication()) only when the operator closes the
// main window. Closing TestForm from the program (unloadMainPanel(), the hand-over to
// IO4) never ends it; loadMainPanel() also turns Qt's quit-on-last-window-closed off, so
// that no moment without a visible window (the firmware restart) can end it either.

#include <QString>

namespace iox::panels {

class IO4;

// The start-up's hand-over: creates IO4, sets its SN_Selected
// to `sn` before anything else touches it, gives it `title`, loads it (its own Connect
// and idle state) and shows it. IO4 is then the main window.
IO4* openCompactPanel(const QString& sn, const QString& title);
// The compact panel, once the hand-over has opened it; else nullptr.
IO4* compactPanel();

// Called by a main window that the operator closed, after its Form_Unload: ends the
// program.
void mainWindowClosed();

// Tests: destroys TestForm and IO4 (without their closing handlers) and any window they
// left for deferred deletion, so the next test starts without windows.
void destroyWindowsForTests();

}  // namespace iox::panels
