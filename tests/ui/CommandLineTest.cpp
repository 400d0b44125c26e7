#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ui/AboutDialog.h"
#include "ui/CommandLine.h"

namespace zeblo {
namespace {

struct Outcome {
    std::optional<int> code;
    std::string out, err;
};

Outcome Handle(std::vector<const char*> args, DisplayEnvironment environment) {
    args.insert(args.begin(), "zeblo");
    std::ostringstream out, err;
    const auto code =
        HandleCommandLine(static_cast<int>(args.size()), args.data(), environment, out, err);
    return {code, out.str(), err.str()};
}

TEST(CommandLine, AnsweredBeforeTheWindowOrPassedOn) {
    const DisplayEnvironment none{false, false}, display{true, false}, platform{false, true};
    const std::optional<int> start;
    const struct {
        std::vector<const char*> args;
        DisplayEnvironment environment;
        std::optional<int> code;
        const char* says;  // in standard output for 0, else in standard error
    } cases[] = {
        {{"--help"}, none, 0, "usage: zeblo [OPTION]... [SONG]..."},
        {{"-h", "--bogus"}, none, 0, "the first one plays"},
        {{"song.mid", "--version"}, none, 0, kVersionText},
        {{"--bogus"}, display, 2, "unknown option '--bogus'"},
        {{"-x", "song.mid"}, display, 2, "unknown option '-x'"},
        {{"--", "--help", "-x"}, display, start, ""},
        {{"a.mid", "b.mid"}, display, start, ""},
        {{"a.mid"}, none, 1, "no display to open"},
        {{"a.mid"}, platform, start, ""},
        {{"-platform", "offscreen", "a.mid"}, none, start, ""},
        {{"-style=fusion", "-reverse", "a.mid"}, display, start, ""},
        {{"a.mid", "-platform"}, display, 2, "needs a value"},
        {{"--screens"}, none, 2, "--screens takes a folder"},
        {{"a.mid", "--screens", "shots"}, display, 2, "--screens takes a folder"},
        {{"--screens", "shots"}, none, start, ""},
    };
    for (const auto& c : cases) {
        const Outcome o = Handle(c.args, c.environment);
        const std::string where = c.args.empty() ? "" : c.args[0];
        EXPECT_EQ(o.code, c.code) << where;
        if (c.code == 0) {
            EXPECT_NE(o.out.find(c.says), std::string::npos) << where << ": " << o.out;
            EXPECT_EQ(o.err, "");
        } else {
            EXPECT_NE(o.err.find(c.says), std::string::npos) << where << ": " << o.err;
            EXPECT_EQ(o.out, "");
        }
    }
}

}  // namespace
}  // namespace zeblo
