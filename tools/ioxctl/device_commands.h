#pragma once
// The commands that drive or read one box, each a single device operation on a connected
// USB_IO. A request the box does not answer ends with Exit::NotAnswering.

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

Exit runRelay(USB_IO& device, const RelayCommand& command, const Environment& env);
Exit runRelays(USB_IO& device, const RelaysCommand& command, const Environment& env);
Exit runPortDirection(USB_IO& device, const PortDirectionCommand& command, const Environment& env);
Exit runPortSet(USB_IO& device, const PortSetCommand& command, const Environment& env);
Exit runLine(USB_IO& device, const LineCommand& command, const Environment& env);
Exit runPulse(USB_IO& device, const PulseCommand& command, const Environment& env);
Exit runSpi(USB_IO& device, const SpiCommand& command, const Environment& env);
Exit runPulseWidth(USB_IO& device, const PulseWidthCommand& command, const Environment& env);
// Prints "A = 0x5a (01011010)", "A3 = 1", or with json {"name":"A","value":90,"bits":"01011010"};
// read all prints the three bytes of one state read, or its box JSON {"A":90,"B":0,"relays":9}.
Exit runRead(USB_IO& device, const ReadCommand& command, bool json, const Environment& env);

// The refusal for a request that got no answer.
Exit notAnswering(const Environment& env, const std::string& what);

}  // namespace iox::ctl
