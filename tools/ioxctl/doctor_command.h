#pragma once
// ioxctl doctor: why a box cannot be reached. It looks at the bus, then at each box: can
// this user open it (permissions: the udev rule, with the fix), is it held by another
// program, does it answer. It prints every check and its outcome.

#include <optional>
#include <string>

#include "environment.h"
#include "exit_codes.h"

namespace iox::ctl {

inline constexpr char kUdevRuleName[] = "70-iox.rules";
// The folders udev reads rules from: the package installs into /usr/lib, `cmake --install`
// into /usr/local/lib, an administrator writes into /etc.
inline constexpr const char* kUdevRuleDirs[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                                                "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
// Where doctor's advice puts a missing rule.
inline constexpr char kUdevRuleFile[] = "/etc/udev/rules.d/70-iox.rules";
inline constexpr char kUdevRule[] =
    "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"2b4e\", ATTRS{idProduct}==\"0021\", TAG+=\"uaccess\"";

// The box's rule file in the first folder that holds one.
std::optional<std::string> findUdevRule(const Environment& env);

// Ok when every box on the bus answers; else the code of the first problem found.
Exit runDoctor(HidBackend& bus, const Environment& env);

}  // namespace iox::ctl
