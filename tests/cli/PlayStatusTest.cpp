#include <gtest/gtest.h>

#include <csignal>

#include "cli/PlayStatus.h"

namespace zeblo {
namespace {

TEST(PlayStatus, ShowsTitlePositionLengthFillAndUnderruns) {
    PlayStatus status;
    status.title = "Demo";
    status.positionFrames = 44100 * 83 + 44099;
    status.lengthFrames = 44100 * 296;
    status.filledSlots = 8;
    status.ringSize = 10;
    status.underruns = 2;
    EXPECT_EQ(FormatPlayStatus(status, 80), "Demo  1:23 / 4:56  buffer 8/10  underruns 2");
    status.sampleRate = 22050;
    EXPECT_EQ(FormatPlayStatus(status, 80), "Demo  2:47 / 9:52  buffer 8/10  underruns 2");
}

TEST(PlayStatus, ALongTitleIsCutAtWholeCharactersToFitTheWidth) {
    PlayStatus status;
    status.title = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88";  // four kana
    status.ringSize = 5;
    const std::string tail = "  0:00 / 0:00  buffer 0/5  underruns 0";
    EXPECT_EQ(FormatPlayStatus(status, tail.size() + 2), "\xE3\x81\x82\xE3\x81\x84" + tail);
    EXPECT_EQ(FormatPlayStatus(status, 3), tail) << "no room: the title goes, the figures stay";
}

TEST(PlayStatus, TitlesAreDecodedAsUtf8ThenShiftJisThenLatin1) {
    EXPECT_EQ(TitleForTerminal("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(TitleForTerminal("\x83\x65\x83\x58\x83\x67"), "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88")
        << "Shift-JIS for 'test' in katakana";
    EXPECT_EQ(TitleForTerminal("Caf\xE9"), "Caf\xC3\xA9") << "not valid Shift-JIS either";
    EXPECT_EQ(TitleForTerminal("a\tb\x1B[2Jc"), "a b [2Jc") << "no terminal control";
    EXPECT_EQ(TitleForTerminal("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80")
        << "an encoded surrogate is no UTF-8";
}

TEST(PlayStatus, CtrlCSetsTheFlagInsteadOfEndingTheProcess) {
    InstallInterruptHandler();
    ClearInterrupt();
    EXPECT_FALSE(InterruptRequested());
    std::raise(SIGINT);
    EXPECT_TRUE(InterruptRequested());
    ClearInterrupt();
    std::raise(SIGTERM);
    EXPECT_TRUE(InterruptRequested());
    ClearInterrupt();
}

}  // namespace
}  // namespace zeblo
