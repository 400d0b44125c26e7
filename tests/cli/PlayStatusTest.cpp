#include <gtest/gtest.h>

#include <tuple>

#include "cli/PlayStatus.h"

namespace zeblo {
namespace {

TEST(PlayStatus, ShowsPositionLengthFillAndUnderrunsCuttingTheTitleToFit) {
    const std::string kana = "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88";  // four
    const std::string tail = "  1:23 / 4:56  buffer 8/10  underruns 2";
    const std::tuple<std::string, int32_t, std::size_t, std::string> rows[] = {
        {"Demo", 44100, 80, "Demo" + tail},
        {"Demo", 22050, 80, "Demo  2:47 / 9:52  buffer 8/10  underruns 2"},
        {kana, 44100, tail.size() + 2, kana.substr(0, 6) + tail},  // whole characters only
        {kana, 44100, 3, tail},  // no room: the title goes, the figures stay
    };
    for (const auto& [title, rate, width, line] : rows) {
        const PlayStatus status{title, 44100 * 83 + 44099, 44100 * 296, rate, 8, 10, 2};
        EXPECT_EQ(FormatPlayStatus(status, width), line);
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

}  // namespace
}  // namespace zeblo
