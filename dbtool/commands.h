// The commands of qm_dbtool, callable without a process so that tests can run them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace dbtool {

// Exit statuses: done, failed, usage error.
enum ExitStatus { kExitDone = 0, kExitFailed = 1, kExitUsage = 2 };

// Runs one command line (without the program name). Help goes to `out`, errors to `err`;
// `progress` tells whether a progress display on standard error is wanted.
int RunDbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool progress);

}  // namespace dbtool
