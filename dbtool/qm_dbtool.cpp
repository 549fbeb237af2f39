// qm_dbtool: makes, dumps and inspects database files (see commands.h and the README).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "dbtool/commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return dbtool::RunDbtool(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
