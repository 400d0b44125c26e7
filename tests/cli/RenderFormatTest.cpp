// Render's output formats and JSON reports, and RMID songs, through zeblo-cli run as the
// separate program it is; the encoded files are read back with libsndfile.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "cli/Json.h"
#include "cli/RenderOutput.h"
#include "support/CliProcess.h"
#include "support/Fnv1a.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::ReadFile;
using test::RunCli;

struct Decoded {
    int rate = 0;
    std::vector<int16_t> samples;  // stereo, interleaved
    double Energy() const {
        double sum = 0;
        for (int16_t s : samples) sum += static_cast<double>(s) * s;
        return sum / std::max<std::size_t>(samples.size(), 1);
    }
};

Decoded Decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Decoded decoded;
    if (file == nullptr || info.channels != 2) return decoded;
    decoded.rate = info.samplerate;
    int16_t block[4096];
    for (sf_count_t n; (n = sf_readf_short(file, block, 2048)) > 0;)
        decoded.samples.insert(decoded.samples.end(), block, block + 2 * n);
    sf_close(file);
    return decoded;
}

// FLAC holds the WAV's very samples, to a pipe as to a file; the lossy formats decode to the
// WAV's length (at 48 kHz for Opus) give or take a frame per 1024 of encoder padding, and to
// about its loudness.
TEST(RenderFormats, EveryFormatHoldsTheSongTheWavHolds) {
    test::TempDir dir;
    const std::string song = dir.File("song.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 2, .melodicTracks = 3}).WriteFile(song));
    ASSERT_EQ(RunCli(dir, {"render", "-q", song}).status, 0);
    const Decoded wav = Decode(dir.File("song.WAV"));
    ASSERT_GT(wav.Energy(), 1000.0);
    const struct {
        std::vector<std::string> words;
        std::string output;  // "stdout": what the run wrote there
        int rate;
        bool lossless;
    } rows[] = {
        {{"--format", "FLAC"}, "song.flac", 44100, true},
        {{"--format", "flac", "-o", "-"}, "stdout", 44100, true},
        {{"-o", dir.File("x.OGA"), "--quality", "3"}, "x.OGA", 44100, false},
        {{"--format", "opus"}, "song.opus", 48000, false},
        {{"--format", "opus", "-o", "-", "--quality=9.5"}, "stdout", 48000, false},
        {{"-o", dir.File("m.mp3")}, "m.mp3", 44100, false},
    };
    for (const auto& row : rows) {
        std::vector<std::string> words = {"render", "-q", song};
        words.insert(words.end(), row.words.begin(), row.words.end());
        const test::CliRun run = RunCli(dir, words);
        ASSERT_EQ(run.status, 0) << row.output << run.err;
        const Decoded got = Decode(dir.File(row.output));
        EXPECT_EQ(got.rate, row.rate) << row.output;
        if (row.lossless) {
            EXPECT_TRUE(got.samples == wav.samples) << row.output;
            continue;
        }
        const double frames = wav.samples.size() / 2.0 * row.rate / wav.rate;
        EXPECT_NEAR(got.samples.size() / 2.0, frames, frames / 1024 + 1) << row.output;
        EXPECT_NEAR(got.Energy() / wav.Energy(), 1.0, 0.2) << row.output;
    }
}

// --format names the output (song.WAV stays as it was); it must agree with an output name that
// has a known extension; --quality is warned about where it changes nothing.
TEST(RenderFormats, TheFormatNamesTheOutputAndMisfitsAreSaid) {
    const std::pair<std::string, AudioFileFormat> names[] = {
        {"a.b/song.mid", AudioFileFormat::kFlac},
        {"a.b/song", AudioFileFormat::kOpus},
        {"x.MID", AudioFileFormat::kWav},
        {"x.rmi", AudioFileFormat::kMp3},
        {"x.mid", AudioFileFormat::kOgg}};
    const char* const expected[] = {"a.b/song.flac", "a.b/song.opus", "x.WAV", "x.mp3", "x.ogg"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(RenderOutputPath(names[i].first, {names[i].second, {}}), expected[i]);
    test::TempDir dir;
    const std::string song = dir.File("s.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 1, .melodicTracks = 1}).WriteFile(song));
    const struct {
        std::vector<std::string> words;
        int status;
        std::string err;
    } rows[] = {
        {{"--format", "flac", "-o", dir.File("x.Ogg")},
         2,
         "zeblo-cli: --format flac does not match the output name " + dir.File("x.Ogg") + "\n"},
        {{"--format", "aac"},
         2,
         "zeblo-cli: --format must be wav, flac, ogg, opus or mp3, not 'aac'\n"},
        {{"--quality", "10.5", "--format", "ogg"},
         2,
         "zeblo-cli: --quality must be 0 .. 10, decimals allowed, not '10.5'\n"},
        {{"--quality", "4", "--format", "flac", "-o", dir.File("y.bin")},
         0,
         "zeblo-cli: warning: --quality has no effect with flac\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> words = {"render", "-q", song};
        words.insert(words.end(), row.words.begin(), row.words.end());
        const test::CliRun run = RunCli(dir, words);
        EXPECT_EQ(run.status, row.status) << row.err;
        EXPECT_EQ(run.err, row.err);
    }
    EXPECT_EQ(Decode(dir.File("y.bin")).rate, 44100) << "FLAC under any name";
    // Without the parts it loads, zeblo-cli names what is missing and writes nothing.
    std::filesystem::create_directory(dir.File("lone"));
    std::filesystem::copy_file(ZEBLO_CLI_PATH, dir.File("lone/zeblo-cli"));
    const std::pair<std::vector<std::string>, std::string> lone[] = {
        {{"render", "--format=mp3", song}, "libzeblo-encode.so: "},
        {{"play", "--once", song}, "zeblo-cli-play: "}};
    for (const auto& [words, missing] : lone) {
        const test::CliRun run = RunCli(dir, words, dir.File("lone/zeblo-cli"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("zeblo-cli: cannot load " + missing, 0), 0u) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("s.mp3")));
}

TEST(RenderJson, StringsEscapeAndEveryReportIsOneObjectALine) {
    const std::pair<std::string, std::string> strings[] = {
        {"plain é 日本", "\"plain é 日本\""},
        {"q\"b\\n\nt\tc\x01", "\"q\\\"b\\\\n\\nt\\tc\\u0001\""},
        {"bad\xff\xc0\x80\xed\xa0\x80 \xf4\x90\x80\x80!",
         "\"bad\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "\xEF\xBF\xBD!\""},
    };
    for (const auto& [text, json] : strings) EXPECT_EQ(JsonString(text), json);
    test::TempDir dir;
    const std::string song = dir.File("t\"1.mid"), missing = dir.File("none.mid");
    tools::SmfBuilder titled(1, 96);
    titled.AddTrack().TrackName(0, "\x83\x65\x83\x58\x83\x67").Tempo(0, 1000000).EndOfTrack(96);
    titled.AddTrack().NoteOn(0, 0, 60, 100).EndOfTrack(96);
    ASSERT_TRUE(titled.WriteFile(song));
    const std::string quoted = JsonString(song);
    const test::CliRun info = RunCli(dir, {"info", "--json", song, missing});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "{\"song\":" + quoted +
                            ",\"status\":\"ok\",\"title\":\"テスト\",\"title_hex\":"
                            "\"836583588367\",\"seconds\":1.013,\"samples\":44676,\"ticks\":98,"
                            "\"tracks\":2,\"division\":96,\"format\":1}\n"
                            "{\"song\":" +
                            JsonString(missing) +
                            ",\"status\":\"failed\",\"message\":\"Unknown files. can't playing.; "
                            "No such file or directory\"}\n");
    const test::CliRun render = RunCli(dir, {"render", "--json", song, missing});
    EXPECT_EQ(render.status, 1);
    const std::regex line(
        "\\{\"song\":" + std::regex_replace(quoted, std::regex("[\\\\\"./]"), "\\$&") +
        ",\"output\":\".*t\\\\\"1\\.WAV\",\"seconds\":1\\.010,\"speed\":[0-9.]+,"
        "\"status\":\"written\",\"message\":\"\"\\}\n\\{\"song\":.*none\\.mid"
        "\",\"output\":null,\"seconds\":null,\"speed\":null,\"status\":\"failed\""
        ",\"message\":\"Unknown files\\. can't playing\\.; No such file or "
        "directory\"\\}\n");
    EXPECT_TRUE(std::regex_match(render.out, line)) << render.out;
}

// An RMID file is its MIDI file, rendered and played; a damaged wrapper says what is wrong.
TEST(RenderRmid, TheWrappedSongRendersAndPlaysAsItselfAndDamageIsNamed) {
    test::TempDir dir;
    const auto wrap = [&dir](const std::string& from, const std::string& name, std::size_t keep) {
        const std::string smf = ReadFile(from);
        std::string data = "data" + std::string(4, '\0') + smf + std::string(smf.size() & 1, '\0');
        for (int i = 0; i < 4; ++i) data[4 + i] = static_cast<char>(smf.size() >> (8 * i));
        std::string riff = "RIFF" + std::string(4, '\0') + "RMIDINFO" + std::string(4, '\0') + data;
        riff[4] = static_cast<char>(riff.size() - 8);  // wrong on purpose: the file's end counts
        test::WriteFile(dir.File(name), riff.substr(0, keep));
        return dir.File(name);
    };
    const char* root = std::getenv("ZEBLO_SOURCE_DIR");
    const std::string source = root != nullptr ? root : ".";
    const std::string demo = wrap(source + "/resources/demo.mid", "demo.rmi", std::string::npos);
    ASSERT_EQ(RunCli(dir, {"render", "-q", demo, "-o", dir.File("rmi.wav")}).status, 0);
    ASSERT_EQ(RunCli(dir, {"render", "-q", source + "/resources/demo.mid", "-o", dir.File("a.wav")})
                  .status,
              0);
    EXPECT_EQ(test::Fnv1a(ReadFile(dir.File("rmi.wav"))), test::Fnv1a(ReadFile(dir.File("a.wav"))));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    std::vector<uint64_t> played;
    for (const std::string& song :
         {source + "/tests/data/short.mid",
          wrap(source + "/tests/data/short.mid", "s.rmi", std::string::npos)}) {
        setenv("SDL_DISKAUDIOFILE", dir.File("device.raw").c_str(), 1);
        ASSERT_EQ(
            RunCli(dir, {"play", "--once", "-q", "--blocks", "5", "--block-length", "1", song})
                .status,
            0);
        played.push_back(test::SoundingHash(ReadFile(dir.File("device.raw"))));
    }
    EXPECT_EQ(played[0], played[1]);
    const std::string cut = wrap(source + "/tests/data/short.mid", "cut.rmi", 100);
    test::WriteFile(dir.File("nosmf.rmi"), std::string("RIFF\x0c\0\0\0RMIDdata\0\0\0\0", 20));
    const test::CliRun info = RunCli(dir, {"info", cut, dir.File("nosmf.rmi")});
    EXPECT_EQ(info.err,
              cut + ": Unknown files. can't playing.\n" + cut +
                  ": the RMID data chunk is truncated: 103 bytes announced, 72 present\n" +
                  dir.File("nosmf.rmi") + ": Unknown files. can't playing.\n" +
                  dir.File("nosmf.rmi") + ": the RMID data chunk holds no MIDI file\n");
}

}  // namespace
}  // namespace zeblo
