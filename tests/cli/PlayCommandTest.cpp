// `zeblo-cli play`: its failures; its options are the option parser's. What a play hands the device
// is frozen by the golden table.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "cli/PlayCommand.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

std::pair<int, std::string> Play(std::vector<std::string> words) {
    words.insert(words.begin(), {"zeblo-cli", "play"});
    std::ostringstream out, err;
    const int status = RunCli(words, out, err);
    return {status, err.str()};
}

TEST(PlayCommand, FailuresExitWithTheirStatusAndMessage) {
    test::TempDir dir;
    const std::string song =
        std::string(std::getenv("ZEBLO_SOURCE_DIR") ?: ".") + "/tests/data/short.mid";
    std::ofstream(dir.File("junk.mid")) << "MThd but not really";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    auto [status, err] = Play({"--once", song});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Wave-device open failed."), std::string::npos) << err;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.File("device.raw").c_str(), 1);
    std::tie(status, err) = Play({"--once", dir.File("junk.mid")});
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("Unknown files. can't playing."), std::string::npos) << err;
    EXPECT_EQ(Play({}).first, kExitUsage);
    EXPECT_EQ(Play({"--blocks", "4", song}).first, kExitUsage) << "bad values are usage errors";
}

}  // namespace
}  // namespace zeblo
