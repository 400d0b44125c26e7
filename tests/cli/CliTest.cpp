// zeblo-cli's command line, called in-process: info's output, the parser, and every usage error
// in its one message form.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
    bool operator==(const Outcome&) const = default;
};

Outcome RunZeblo(std::vector<std::string> words) {
    words.insert(words.begin(), "zeblo-cli");
    std::ostringstream out, err;
    const int status = RunCli(words, out, err);
    return {status, out.str(), err.str()};
}

std::string InfoBlock(const std::string& path, const std::string& title, int tracks, int division,
                      uint64_t samples, uint64_t ticks, const std::string& seconds) {
    return "file: " + path + "\ntitle: " + title + "\ntracks: " + std::to_string(tracks) +
           "\ndivision: " + std::to_string(division) + "\nsamples: " + std::to_string(samples) +
           "\nticks: " + std::to_string(ticks) + "\nseconds: " + seconds + "\n";
}

TEST(CliInfo, PrintsEachSongsMeasureAndReportsTheUnusableOnes) {
    test::TempDir dir;
    const std::string example = dir.File("example.mid");
    ASSERT_TRUE(test::MeasureExampleSong().WriteFile(example));
    const std::string title = "\x83\x65\x83\x58\x83\x67 \x82\xa0";  // Shift-JIS
    tools::SmfBuilder titled(1, 96);
    titled.AddTrack().TrackName(0, title).Tempo(0, 1000000).EndOfTrack(96);
    titled.AddTrack().TrackName(0, "not the title").NoteOn(0, 0, 60, 100).EndOfTrack(96);
    const std::string titledPath = dir.File("titled.mid");
    ASSERT_TRUE(titled.WriteFile(titledPath));
    const std::string riff = dir.File("riff.mid"), empty = dir.File("e.mid"),
                      missing = dir.File("m");
    ASSERT_TRUE(tools::SmfBuilder(test::MeasureExampleSong()).HeaderId("RIFF").WriteFile(riff));
    ASSERT_TRUE(tools::SmfBuilder().WriteFile(empty));
    const std::string block = InfoBlock(example, "", 1, 480, 87939, 1926, "1.994");
    // Each unusable file says why, the bytes of a real bad file deciding it.
    const std::string text = dir.File("t.mid"), cut = dir.File("cut.mid"), rmid = dir.File("r.mid");
    const std::string whole = test::ReadFile(example), folder = dir.Path().string();
    test::WriteFile(text, "MIDI, honestly\n");
    test::WriteFile(rmid, std::string("RIFF\x04\0\0\0RMID", 12));
    test::WriteFile(cut, whole.substr(0, 20));
    const auto unknown = [](const std::string& path, const std::string& reason) {
        return path + ": Unknown files. can't playing.\n" + path + ": " + reason + "\n";
    };
    const std::vector<std::pair<std::vector<std::string>, Outcome>> rows = {
        {{"info", example}, {0, block, ""}},
        {{"info", example, "--rate=22050"},
         {0, InfoBlock(example, "", 1, 480, 43997, 1930, "1.995"), ""}},
        // Division 96: 153 samples for the first step at 180 beats per minute, then 459 at 60;
        // the last end of track is handled in step 97, step 98 ends the song.
        {{"info", titledPath},
         {0,
          InfoBlock(titledPath, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 \xE3\x81\x82", 2, 96,
                    153 + 97 * 459, 98, "1.013"),
          ""}},
        {{"info", empty, example, riff, missing, example},
         {1, block + block,
          unknown(empty, "no tracks") +
              unknown(riff, "not a MIDI file; it starts as bytes 52 49 46 46") +
              unknown(missing, "No such file or directory")}},
        {{"info", folder, text, cut, rmid},
         {1, "",
          unknown(folder, "is a folder") + unknown(text, "not a MIDI file; it starts as text") +
              unknown(cut, "truncated at byte 20") +
              unknown(rmid, "the RMID wrapper has no data chunk")}},
    };
    for (const auto& [words, expected] : rows) {
        const Outcome o = RunZeblo(words);
        EXPECT_TRUE(o == expected) << o.status << "\n" << o.out << o.err;
    }
}

// Without a tempo event a song runs at the player's 180 beats per minute, or at 120 on request.
TEST(CliInfo, SmfTempoMakesASongWithoutTempoEventsOneAndAHalfTimesLonger) {
    test::TempDir dir;
    const std::string song = dir.File("untimed.mid");
    tools::SmfBuilder smf(1, 96);
    smf.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(96 * 16);
    ASSERT_TRUE(smf.WriteFile(song));
    const auto seconds = [&song](std::vector<std::string> words) {
        words.push_back(song);
        const std::string out = RunZeblo(words).out;
        return std::stod(out.substr(out.find("seconds: ") + 9));
    };
    EXPECT_NEAR(seconds({"info", "--smf-tempo"}) / seconds({"info"}), 1.5, 0.01);
}

TEST(CliUsage, EveryWrongCommandLineGetsItsMessageAndStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"nonsense"}, "unknown command 'nonsense'; see zeblo-cli --help"},
        {{"info"}, "info needs at least one SONG"},
        {{"play"}, "play needs at least one SONG"},
        {{"play", "--start", "1:2:3:4", "a.mid"},
         "--start must be seconds, M:SS or H:MM:SS, not '1:2:3:4'"},
        {{"info", "--loud", "a.mid"}, "unknown option --loud for info"},
        {{"render", "-x", "a.mid"}, "unknown option -x for render"},
        {{"info", "--rate"}, "--rate needs a value: HZ"},
        {{"render", "a.mid", "-o"}, "-o needs a value: PATH"},
        {{"render", "-o", "", "a.mid"}, "--output needs a value: PATH"},
        {{"render", "--quiet=1", "a.mid"}, "--quiet takes no value"},
        {{"render", "-o", "x.wav", "a.mid", "b.mid"}, "--output takes one SONG only"},
        {{"info", "--rate", "96000", "a.mid"}, "--rate must be 48000, 44100 or 22050, not '96000'"},
        {{"render", "--engine", "opl", "a.mid"}, "--engine must be wavetable or fm, not 'opl'"},
        {{"play", "--instrument-set", "8", "a.mid"}, "--instrument-set must be 0 .. 7, not '8'"},
        {{"render", "--lowpass", "0", "a.mid"}, "--lowpass must be a frequency in hertz, not '0'"},
        {{"play", "--blocks", "7", "a.mid"}, "--blocks must be 5, 10, 15, 20, 25 or 30, not '7'"},
        {{"play", "--block-length", "3", "a.mid"},
         "--block-length must be 1, 2, 5, 10, 20, 30 or 60, not '3'"},
        {{"play", "--device", "-1", "a.mid"}, "--device must be 0 or more, not '-1'"},
        {{"render", "--end", "1:75", "a.mid"},
         "--end must be seconds, M:SS or H:MM:SS, not '1:75'"},
        {{"render", "--start", "0:05", "--end", "4.5", "a.mid"}, "--end must come after --start"},
        {{"render", "--mute", "2-1", "a.mid"},
         "--mute must be channels 1 .. 32, as 1-3,17, not '2-1'"},
        {{"render", "--shard", "3/2", "a.mid"}, "--shard must be K/N with 1 <= K <= N, not '3/2'"},
        {{"render", "-o", "a.wav", "--output-dir", "d", "a.mid"},
         "--output and --output-dir exclude each other"},
    };
    for (const auto& [words, message] : rows)
        EXPECT_EQ(RunZeblo(words), (Outcome{2, "", "zeblo-cli: " + message + "\n"}));
    EXPECT_EQ(RunZeblo({}).status, 2);
}

// An option that changes nothing in its combination is run anyway, with a warning; values are
// taken in any case.
TEST(CliUsage, OptionsWithoutEffectAreWarnedAbout) {
    const std::string fm = " has no effect with the fm engine\n";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--engine", "FM", "--mono", "--no-detune"},
         "zeblo-cli: warning: --mono" + fm + "zeblo-cli: warning: --no-detune" + fm},
        {{"--engine=Fm", "--lowpass", "5000", "--instrument-set", "3"},
         "zeblo-cli: warning: --lowpass" + fm + "zeblo-cli: warning: --instrument-set" + fm},
        {{"--engine", "WaveTable", "--lowpass", "50"},
         "zeblo-cli: warning: --lowpass 50 is outside 100 .. rate / 2; the filter stays off\n"},
        {{"--lowpass", "5000", "--mono", "--solo", "3,17"}, ""},
        {{"--engine", "fm", "--mute", "1,17"},
         "zeblo-cli: warning: with the fm engine a mute covers a channel on both ports; strips "
         "17-32 mute nothing\n"},
    };
    for (const auto& [options, warnings] : rows) {
        std::vector<std::string> words = {"render", "-o", "-", "no-such.mid"};
        words.insert(words.end(), options.begin(), options.end());
        const Outcome o = RunZeblo(words);
        EXPECT_EQ(o.err.substr(0, warnings.size()), warnings);
        EXPECT_EQ(o.err.find("warning", warnings.size()), std::string::npos) << o.err;
    }
}

TEST(CliParse, OptionsStandAnywhereBundledUntilTheDoubleDash) {
    const std::vector<CliOption> options = CliOptionsNamed({"--rate", "--quiet", "--output"});
    const CliCommand command{"test", "FILE...", "", options, nullptr};
    const std::vector<std::string> words = {"a",      "-qr", "22050",  "-",
                                            "-qox=y", "--",  "--rate", "-q"};
    CliArgs args;
    std::string error;
    ASSERT_TRUE(ParseCliArgs(command, words, args, error)) << error;
    EXPECT_EQ(args.positional, (std::vector<std::string>{"a", "-", "--rate", "-q"}));
    EXPECT_EQ(args.options,
              (decltype(args.options){{"--rate", "22050"}, {"--quiet", ""}, {"--output", "x=y"}}));
}

// Every help fits 80 columns and names each option of its command.
TEST(CliHelp, ListsEveryCommandsOptionsWithinEightyColumnsAndTheVersion) {
    std::vector<std::string> texts = {RunZeblo({"--help"}).out};
    for (const CliCommand& command : CliCommands()) {
        texts.push_back(RunZeblo({std::string(command.name), "a.mid", "-h"}).out);
        for (const CliOption& option : command.options) {
            EXPECT_NE(texts.back().find(" " + std::string(option.name)), std::string::npos);
            EXPECT_NE(texts.front().find(" " + std::string(option.name)), std::string::npos);
        }
    }
    for (const std::string& text : texts) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    }
    EXPECT_NE(RunZeblo({"play", "--help"})
                  .out.find("(5, 10, 15, 20, 25 or 30;\n                           default 10)"),
              std::string::npos);
    EXPECT_EQ(RunZeblo({"--version"}).out, "zeblo-cli ZEBLO Version 236\n");
}

}  // namespace
}  // namespace zeblo
