#pragma once
// The program's entry, shared by iox-controller (real boxes) and iox-demo (simulated ones).

#include "device/hid_backend.h"

namespace iox::app {

// Wires the windows together over the given backend, loads the main panel and runs the
// event loop until the main window closes. Needs a QApplication.
int run(HidBackend& backend);

}  // namespace iox::app
