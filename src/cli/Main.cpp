#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    return zeblo::RunCli(args, std::cout, std::cerr);
}
