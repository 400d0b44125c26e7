// zeblo-cli run as the separate program it is, its standard output and error caught in files.
// Needs ZEBLO_CLI_PATH defined by the test program's build.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace zeblo::test {

struct CliRun {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

inline constexpr unsigned kCliRunLimitSeconds = 120;

inline CliRun RunCli(const TempDir& dir, const std::vector<std::string>& arguments,
                     const std::string& program = ZEBLO_CLI_PATH) {
    const std::string out = dir.File("stdout");
    const std::string err = dir.File("stderr");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "wb", stdout) || !freopen(err.c_str(), "wb", stderr)) _exit(120);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // A run that hangs is ended (and fails its test) instead of holding up the suite.
        alarm(kCliRunLimitSeconds);
        execv(program.c_str(), argv.data());
        _exit(121);
    }
    CliRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

}  // namespace zeblo::test
