#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/Authoring.h"
#include "engine/RenderTestSupport.h"
#include "settings/RecordingPrompt.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

std::vector<uint8_t> SongBytes(uint32_t seconds = 3) {
    test::DenseSongOptions options;
    options.seconds = seconds;
    options.melodicTracks = 4;
    return test::DenseSong(options).Build();
}

// A file that takes `room` bytes and then fails every write.
class FailingFile final : public WavOutput {
public:
    FailingFile(std::unique_ptr<WavOutput> file, uint64_t room)
        : file(std::move(file)), room(room) {}
    bool Write(const uint8_t* bytes, std::size_t count) override {
        if (count > room) return false;
        room -= count;
        return file->Write(bytes, count);
    }
    bool Seekable() const override { return file->Seekable(); }
    bool WriteAt(uint64_t offset, const uint8_t* bytes, std::size_t count) override {
        return file->WriteAt(offset, bytes, count);
    }
    bool ReadAt(uint64_t offset, uint8_t* bytes, std::size_t count) override {
        return file->ReadAt(offset, bytes, count);
    }
    bool Close() override { return file->Close(); }

private:
    std::unique_ptr<WavOutput> file;
    uint64_t room;
};

struct AuthoringRig {
    explicit AuthoringRig(int32_t engine = kEngineWavetable) : rig(engine) {}
    test::RenderRig rig;
    RecordingPrompt prompt;
    RcpConverter converter{prompt};
    Authoring authoring{*rig.context, *rig.renderer, converter, prompt};
    std::atomic<int32_t> stop{0};

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const RecordedPrompt& p : prompt.prompts()) texts.push_back(p.text);
        return texts;
    }
};

TEST(AuthoringName, LastThreeCharactersBecomeUpperCaseWav) {
    EXPECT_EQ(AuthoringOutputPath("song.mid"), "song.WAV");
    EXPECT_EQ(AuthoringOutputPath("dir/Song.Mid"), "dir/Song.WAV");
    EXPECT_EQ(AuthoringOutputPath("tune.rcp"), "tune.WAV");
    EXPECT_EQ(AuthoringOutputPath("a.mi"), "aWAV");
    EXPECT_EQ(AuthoringOutputPath("x.wav"), "x.WAV");
    EXPECT_EQ(AuthoringOutputPath("ab"), "WAV");
}

TEST(Authoring, WritesWhatTheRenderLoopGivesInBothEngines) {
    test::TempDir dir;
    const std::vector<uint8_t> song = SongBytes();
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, song));
    for (int32_t engine : {kEngineWavetable, kEngineOpll}) {
        AuthoringRig a(engine);
        a.rig.parameters.lowPassEnabled = true;  // the filter history starts at 0 for the run
        const std::string out = dir.File("song" + std::to_string(engine) + ".WAV");
        uint32_t reported = 0;
        EXPECT_EQ(a.authoring.Run(songPath, out, a.stop,
                                  [&reported](uint32_t bytes) { reported = bytes; }),
                  AuthoringOutcome::kWritten);
        EXPECT_TRUE(a.Messages().empty());
        EXPECT_FALSE(a.rig.context->sequencer.Loop());

        test::RenderRig expected(engine);
        expected.parameters.lowPassEnabled = true;
        ASSERT_TRUE(expected.Start(song));
        const std::vector<uint32_t> frames = expected.RenderAll(20000);
        const std::vector<uint8_t> file = ReadAll(out);
        ASSERT_EQ(file.size(), 44 + frames.size() * 4);
        EXPECT_EQ(Le32(file, 40), frames.size() * 4);
        EXPECT_EQ(Le32(file, 4), frames.size() * 4 + 36);
        EXPECT_EQ(std::memcmp(file.data() + 44, frames.data(), frames.size() * 4), 0);
        EXPECT_EQ(a.authoring.bytesAuthored.load(), frames.size() * 4);
        EXPECT_EQ(reported, frames.size() * 4);
    }
}

TEST(Authoring, MissingOutputFolderFailsToOpenAndLeavesNothing) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    AuthoringRig a;
    const std::string out = dir.File("missing/song.WAV");
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop), AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"File open failed."});
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Authoring, WriteFailureInTheMiddleDeletesThePartialFile) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    AuthoringRig a;
    a.authoring.SetOutputOpener([](const std::string& path) -> std::unique_ptr<WavOutput> {
        auto file = OpenWavFile(path);
        if (file == nullptr) return nullptr;
        return std::make_unique<FailingFile>(std::move(file), 200000);
    });
    const std::string out = dir.File("song.WAV");
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop), AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"File write failed."});
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_GT(a.authoring.bytesAuthored.load(), 0u);
}

TEST(Authoring, HeaderFailureIsReported) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    AuthoringRig a;
    a.authoring.SetOutputOpener([](const std::string& path) -> std::unique_ptr<WavOutput> {
        return std::make_unique<FailingFile>(OpenWavFile(path), 10);
    });
    const std::string out = dir.File("song.WAV");
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop), AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"Header write failed."});
    EXPECT_FALSE(std::filesystem::exists(out));
}

// A song whose WAV would pass the format's size limit stops there with the write failure,
// instead of wrapping the sizes into a corrupt file. (A small limit stands in for 4 GiB here;
// the writer's own test drives the real one.)
TEST(Authoring, StopsAtTheSizeLimitWithWriteFailure) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    AuthoringRig a;
    a.authoring.SetOutputOpener(OpenWavFile, 100000);
    const std::string out = dir.File("song.WAV");
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop), AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"File write failed."});
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(a.authoring.bytesAuthored.load(), 80000u);
}

TEST(Authoring, StopFlagTerminatesAtTheNextChunkAndDeletes) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes(10)));
    AuthoringRig a;
    const std::string out = dir.File("song.WAV");
    int chunks = 0;
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop,
                              [&](uint32_t) {
                                  if (++chunks == 2) a.stop = 1;
                              }),
              AuthoringOutcome::kTerminated);
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(a.authoring.bytesAuthored.load(), 160000u);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"Authoring was terminated."});
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Authoring, FailureNeverDeletesASpecialFile) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    const std::string fifo = dir.File("pipe.WAV");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    AuthoringRig a;
    // The output behind the name is a pipe: the run writes elsewhere and then fails.
    const std::string elsewhere = dir.File("elsewhere");
    a.authoring.SetOutputOpener([elsewhere](const std::string&) -> std::unique_ptr<WavOutput> {
        return std::make_unique<FailingFile>(OpenWavFile(elsewhere), 100);
    });
    EXPECT_EQ(a.authoring.Run(songPath, fifo, a.stop), AuthoringOutcome::kFailed);
    struct stat info {};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(Authoring, StreamFailureDeletesNothing) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    const std::string bystander = dir.File("-");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(bystander, {1, 2, 3}));
    AuthoringRig a;
    auto sink = std::make_unique<FailingFile>(OpenWavFile(dir.File("sink")), 1000);
    EXPECT_EQ(a.authoring.RunToStream(songPath, std::move(sink), 12345, a.stop),
              AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{"File write failed."});
    EXPECT_TRUE(std::filesystem::exists(bystander));
    EXPECT_TRUE(std::filesystem::exists(dir.File("sink")));
}

TEST(Authoring, DryRunFindsTheSizeTheFileGets) {
    test::TempDir dir;
    const std::string songPath = dir.File("song.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, SongBytes()));
    uint32_t dataBytes = 0;
    {
        AuthoringRig dry(kEngineOpll);
        EXPECT_EQ(dry.authoring.DryRun(songPath, dataBytes, dry.stop), AuthoringOutcome::kWritten);
    }
    AuthoringRig real(kEngineOpll);
    ASSERT_EQ(real.authoring.Run(songPath, dir.File("song.WAV"), real.stop),
              AuthoringOutcome::kWritten);
    EXPECT_EQ(dataBytes + 44, std::filesystem::file_size(dir.File("song.WAV")));
    EXPECT_GT(dataBytes, 44100u * 4);
}

TEST(Authoring, SongThatDoesNotLoadGivesAnEmptyDataChunk) {
    test::TempDir dir;
    const std::string songPath = dir.File("broken.mid");
    ASSERT_TRUE(test::SmfBuilder::WriteBytes(songPath, {'n', 'o', 't', ' ', 'a', ' ', 's'}));
    AuthoringRig a;
    const std::string out = AuthoringOutputPath(songPath);
    EXPECT_EQ(a.authoring.Run(songPath, out, a.stop), AuthoringOutcome::kWritten);
    const std::vector<uint8_t> file = ReadAll(out);
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(Le32(file, 40), 0u);
}

TEST(Authoring, RcpSongWithoutConverterShowsItsMessageAndDeletes) {
    test::TempDir dir;
    AuthoringRig a;
    const std::string out = dir.File("tune.WAV");
    EXPECT_EQ(a.authoring.Run(dir.File("tune.rcp"), out, a.stop), AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{kRcpMissingMessage});
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace zeblo
