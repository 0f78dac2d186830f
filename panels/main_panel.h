#pragma once
// The application's main window: TestForm at start and anew after each firmware update,
// or IO4 when the box is an "IOX-MODEL-B". The program ends when the main window closes.

#include <functional>

namespace iox::panels {

class TestForm;

// Creates TestForm and loads it (its Form_Load is the start-up), then shows it, which
// runs Form_Activate. Returns the panel, or nullptr when the start-up handed over to IO4
// and closed TestForm.
TestForm* loadMainPanel();
// The loaded TestForm, or nullptr.
TestForm* mainPanel();
// Closes TestForm (its Form_Unload disconnects the shared device) and destroys it,
// without ending the program.
void unloadMainPanel();

// What a click on TestForm's "(fw)" label opens once it has disabled the panel: the
// firmware information window. Set by the program's entry; empty opens nothing.
void setFirmwareInfoOpener(std::function<void(TestForm&)> opener);
const std::function<void(TestForm&)>& firmwareInfoOpener();

}  // namespace iox::panels
