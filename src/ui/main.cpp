#include <iostream>

#include "ui/Application.h"
#include "ui/CommandLine.h"

int main(int argc, char** argv) {
    // Before anything else: --help and --version must not reach the toolkit or a running player.
    if (const auto code = zeblo::HandleCommandLine(
            argc, argv, zeblo::DisplayEnvironment::FromProcess(), std::cout, std::cerr))
        return *code;
    return zeblo::RunApplication(argc, argv);
}
