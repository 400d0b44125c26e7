// What render's span, channel and batch options write, measured against the plain render of the
// same song: lengths in frames, shared prefixes, a silent end, and identical files whatever the
// job count or shard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/CliProcess.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

using test::ReadFile;

constexpr int64_t kRate = 22050;

// The PCM of a render, as 16-bit samples, left and right interleaved.
std::vector<int16_t> Render(const test::TempDir& dir, std::vector<std::string> words) {
    const std::string out = dir.File("span.wav");
    std::filesystem::remove(out);
    words.insert(words.begin(), {"render", "-q", "-r", "22050", "-o", out});
    const test::CliRun run = test::RunCli(dir, words);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string bytes = ReadFile(out);
    std::vector<int16_t> samples(bytes.size() < 44 ? 0 : (bytes.size() - 44) / 2);
    std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
    return samples;
}

bool SamePrefix(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int64_t frames) {
    return frames >= 0 && static_cast<std::size_t>(frames * 2) <= std::min(a.size(), b.size()) &&
           std::equal(a.begin(), a.begin() + frames * 2, b.begin());
}

TEST(RenderSpan, LoopsFadeTailAndRangesWriteTheirFramesExactly) {
    test::TempDir dir;
    const std::string song = dir.File("song.mid");
    ASSERT_TRUE(test::DenseSong({.seconds = 3, .melodicTracks = 3}).WriteFile(song));
    const std::vector<int16_t> plain = Render(dir, {song});
    const int64_t p = static_cast<int64_t>(plain.size() / 2);
    const int64_t two = static_cast<int64_t>(Render(dir, {"--loops", "2", song}).size() / 2);
    // Each later play restarts as the loop does: the same length again, one step longer.
    EXPECT_EQ(static_cast<int64_t>(Render(dir, {"--loops", "3", song}).size() / 2) - two, two - p);
    EXPECT_GT(two - p, p);
    const struct {
        std::vector<std::string> options;
        int64_t frames, samePrefix;  // -1: not compared
    } rows[] = {
        {{"--tail", "0.5"}, p + kRate / 2, p - 1},
        {{"--fade", "1"}, p, p - kRate},
        {{"--loops", "2", "--tail", "0.2", "--fade", "0.5"}, two + kRate / 5, p - 1},
        {{"--end", "2.5"}, kRate * 5 / 2, kRate * 5 / 2},
        {{"--end", "1:00:00"}, p, p},
        {{"--start", "1", "--end", "2.5"}, kRate * 3 / 2, -1},
        {{"--start", "0:01.25", "--end", "0:02"}, kRate * 3 / 4, -1},
        {{"--start", "0:00:00.5", "--end", "0:00:01"}, kRate / 2, -1},
    };
    for (const auto& row : rows) {
        std::vector<std::string> words = row.options;
        words.push_back(song);
        const std::vector<int16_t> span = Render(dir, words);
        EXPECT_EQ(static_cast<int64_t>(span.size() / 2), row.frames) << words[1];
        EXPECT_TRUE(row.samePrefix < 0 || SamePrefix(plain, span, row.samePrefix)) << words[1];
    }
    // The fade only ever quietens, down to an exactly silent last frame.
    const std::vector<int16_t> faded = Render(dir, {"--fade", "1", song});
    for (std::size_t i = (p - kRate) * 2; i < faded.size(); ++i)
        ASSERT_LE(std::abs(faded[i]), std::abs(plain[i])) << i;
    EXPECT_EQ(faded.back() | faded[faded.size() - 2], 0);
    // A later start plays the rest of the song, its earlier notes unheard.
    const int64_t rest = static_cast<int64_t>(Render(dir, {"--start", "1", song}).size() / 2);
    EXPECT_NEAR(rest, p - kRate, kRate / 100);
}

TEST(RenderSpan, MuteSoloStartAndTailSoundAsTheyShould) {
    test::TempDir dir;
    const std::string song = dir.File("three.mid");
    tools::SmfBuilder smf(0, 96);
    tools::TrackBuilder& track = smf.AddTrack().Tempo(0, 500000).ProgramChange(0, 2, 0);
    for (int i = 0; i < 4; ++i) track.NoteOn(0, 2, 60 + i, 100).NoteOff(48, 2, 60 + i);
    track.EndOfTrack(1);
    ASSERT_TRUE(smf.WriteFile(song));
    const std::vector<int16_t> plain = Render(dir, {song});
    // From 0.3 s the note begun at 0.25 s stays unheard; the next one, at 0.5 s, sounds.
    const std::vector<int16_t> late = Render(dir, {"--start", "0.3", song});
    EXPECT_EQ(std::count(late.begin(), late.begin() + kRate / 10 * 2, 0), kRate / 10 * 2);
    EXPECT_NE(std::count(late.begin(), late.end(), 0), static_cast<long>(late.size()));
    // The last note's release rings on after the song's end.
    const std::vector<int16_t> tail = Render(dir, {"--tail", "0.2", song});
    EXPECT_NE(std::count(tail.begin() + plain.size(), tail.end(), 0), kRate / 5 * 2);
    ASSERT_NE(std::count(plain.begin(), plain.end(), 0), static_cast<long>(plain.size()));
    const struct {
        const char* option;
        const char* list;
        bool heard;
    } rows[] = {{"--mute", "3", false},       {"--solo", "3", true},  {"--solo", "10", false},
                {"--mute", "1-2,4-32", true}, {"--mute", "19", true}, {"--solo", "1-4,17", true}};
    for (const auto& row : rows) {
        const std::vector<int16_t> span = Render(dir, {row.option, row.list, song});
        const bool silent =
            std::count(span.begin(), span.end(), 0) == static_cast<long>(span.size());
        EXPECT_EQ(row.heard ? span == plain : silent, true) << row.option << " " << row.list;
    }
}

// -j 1, -j 4 and two shards write the same files; a song that fails leaves the others written.
TEST(RenderBatch, JobCountsAndShardsWriteIdenticalFilesAndFailuresStayAlone) {
    test::TempDir dir;
    std::vector<std::string> songs;
    for (uint32_t i = 0; i < 5; ++i) {
        songs.push_back(dir.File("s" + std::to_string(i) + ".mid"));
        ASSERT_TRUE(
            test::DenseSong({.seconds = 2, .melodicTracks = 2, .seed = i}).WriteFile(songs.back()));
    }
    ASSERT_TRUE(tools::SmfBuilder::WriteBytes(dir.File("s2.mid"), {'M', 'T', 'h', 'd'}));
    const auto batch = [&](const std::string& folder, std::vector<std::string> options) {
        options.insert(options.begin(),
                       {"render", "-q", "-r", "22050", "--output-dir", dir.File(folder)});
        options.insert(options.end(), songs.begin(), songs.end());
        return test::RunCli(dir, options).status;
    };
    EXPECT_EQ(batch("one", {"-j", "1"}), 1);
    EXPECT_EQ(batch("four", {"-j", "4"}), 1);
    EXPECT_EQ(batch("shards", {"--shard", "1/2"}) + batch("shards", {"--shard", "2/2", "-j", "2"}),
              1);
    const test::CliRun again =
        test::RunCli(dir, {"render", "--skip-existing", "--output-dir", dir.File("one"), songs[0]});
    EXPECT_EQ(again.out, dir.File("one/s0.WAV") + ": exists; skipped\n");
    for (int i = 0; i < 5; ++i) {
        const std::string name = "/s" + std::to_string(i) + ".WAV";
        EXPECT_EQ(std::filesystem::exists(dir.File("one") + name), i != 2) << name;
        EXPECT_TRUE(ReadFile(dir.File("one") + name) == ReadFile(dir.File("four") + name)) << name;
        EXPECT_TRUE(ReadFile(dir.File("one") + name) == ReadFile(dir.File("shards") + name))
            << name;
    }
}

}  // namespace
}  // namespace zeblo
