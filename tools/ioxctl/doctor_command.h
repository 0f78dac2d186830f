#pragma once
// ioxctl doctor: why a box cannot be reached. It looks at the bus, then at each box: can
// this user open it (permissions: the udev rule, with the fix), is it held by another
// program, does it answer. It prints every check and its outcome.

#include "environment.h"
#include "exit_codes.h"

namespace iox::ctl {

inline constexpr char kUdevRuleFile[] = "/etc/udev/rules.d/70-iox.rules";
inline constexpr char kUdevRule[] =
    "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2b4e\", ATTRS{idProduct}==\"0021\", TAG+=\"uaccess\"";

// Ok when every box on the bus answers; else the code of the first problem found.
Exit runDoctor(HidBackend& bus, const Environment& env);

}  // namespace iox::ctl
