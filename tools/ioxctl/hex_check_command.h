#pragma once
// ioxctl hex-check: a firmware image checked without a box: its records one by one, the
// lines that a line request could not carry, whether flash would take the file at all, and
// what the update would send.

#include "environment.h"
#include "exit_codes.h"
#include "invocation.h"

namespace iox::ctl {

Exit runHexCheck(const HexCheckCommand& command, bool json, const Environment& env);

}  // namespace iox::ctl
