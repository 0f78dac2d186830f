#pragma once
// ioxctl watch: polls port A, port B and the relays, and prints a line with all three
// whenever one of them changes (the first poll always prints). Between polls it pauses
// for the interval, so neither the box nor the output is flooded. Ends on interrupt,
// after --count lines or after --for seconds.

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

Exit runWatch(USB_IO& device, const WatchCommand& command, bool json, const Environment& env);

}  // namespace iox::ctl
