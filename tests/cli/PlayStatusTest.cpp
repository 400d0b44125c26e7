#include <gtest/gtest.h>

#include <csignal>

#include "cli/PlayStatus.h"

namespace zeblo {
namespace {

TEST(PlayStatus, ShowsPositionLengthFillAndUnderrunsCuttingTheTitleToFit) {
    const std::string kana = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88";  // four
    const std::string tail = "  1:23 / 4:56  buffer 8/10  underruns 2";
    const struct {
        std::string title;
        int32_t rate;
        std::size_t width;
        std::string line;
    } rows[] = {
        {"Demo", 44100, 80, "Demo" + tail},
        {"Demo", 22050, 80, "Demo  2:47 / 9:52  buffer 8/10  underruns 2"},
        {kana, 44100, tail.size() + 2, kana.substr(0, 6) + tail},  // whole characters only
        {kana, 44100, 3, tail},  // no room: the title goes, the figures stay
    };
    for (const auto& row : rows) {
        const PlayStatus status{.title = row.title,
                                .positionFrames = 44100 * 83 + 44099,
                                .lengthFrames = 44100 * 296,
                                .sampleRate = row.rate,
                                .filledSlots = 8,
                                .ringSize = 10,
                                .underruns = 2};
        EXPECT_EQ(FormatPlayStatus(status, row.width), row.line);
    }
}

TEST(PlayStatus, TitlesAreDecodedAsUtf8ThenShiftJisThenLatin1) {
    const std::pair<std::string, std::string> rows[] = {
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\x83\x65\x83\x58\x83\x67", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},  // katakana "test"
        {"\x82\xa0\x88\x9f", "\xE3\x81\x82\xE4\xBA\x9C"},                      // hiragana, kanji
        {"Caf\xE9", "Caf\xC3\xA9"},                                            // no Shift-JIS
        {"a\tb\x1B[2Jc", "a b [2Jc"},                  // no terminal control
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // an encoded surrogate is no UTF-8
    };
    for (const auto& [raw, shown] : rows) EXPECT_EQ(TitleForTerminal(raw), shown) << shown;
}

TEST(PlayStatus, CtrlCAndTerminationSetTheFlagInsteadOfEndingTheProcess) {
    InstallInterruptHandler();
    for (int signal : {SIGINT, SIGTERM}) {
        ClearInterrupt();
        EXPECT_FALSE(InterruptRequested());
        std::raise(signal);
        EXPECT_TRUE(InterruptRequested());
    }
    ClearInterrupt();
}

}  // namespace
}  // namespace zeblo
