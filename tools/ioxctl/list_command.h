#pragma once
// ioxctl list: every attached box with its serial number, model, firmware and path; serial
// numbers that several boxes share are flagged, since only --path can tell those apart.

#include "environment.h"
#include "exit_codes.h"

namespace iox::ctl {

Exit runList(HidBackend& bus, bool json, const Environment& env);

}  // namespace iox::ctl
