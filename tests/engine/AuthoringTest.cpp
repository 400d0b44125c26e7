// Authoring's failures and edges; what a finished run writes is frozen by the golden table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/Authoring.h"
#include "engine/RenderTestSupport.h"
#include "settings/RecordingPrompt.h"
#include "support/TempDir.h"
#include "support/TestSongs.h"

namespace zeblo {
namespace {

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

WavOutputOpener FailAfter(uint64_t room, std::string redirect = {}) {
    return [room, redirect](const std::string& path) -> std::unique_ptr<WavOutput> {
        auto file = OpenWavFile(redirect.empty() ? path : redirect);
        if (file == nullptr) return nullptr;
        return std::make_unique<FailingFile>(std::move(file), room);
    };
}

struct AuthoringRig {
    explicit AuthoringRig(int32_t engine = kEngineWavetable) : rig(engine) {
        test::DenseSongOptions options;
        options.seconds = 3;
        options.melodicTracks = 4;
        EXPECT_TRUE(test::DenseSong(options).WriteFile(song));
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const RecordedPrompt& p : prompt.prompts()) texts.push_back(p.text);
        return texts;
    }
    test::TempDir dir;
    std::string song = dir.File("song.mid");
    std::string out = dir.File("song.WAV");
    test::RenderRig rig;
    RecordingPrompt prompt;
    RcpConverter converter{prompt};
    Authoring authoring{*rig.context, *rig.renderer, converter, prompt};
    std::atomic<int32_t> stop{0};
};

TEST(Authoring, OutputNamesEndInUpperCaseWav) {
    for (const auto& [song, wav] : {std::pair{"dir/Song.Mid", "dir/Song.WAV"},
                                    {"t.rcp", "t.WAV"},
                                    {"a.mi", "aWAV"},
                                    {"ab", "WAV"}})
        EXPECT_EQ(AuthoringOutputPath(song), wav);
}

TEST(Authoring, EveryFailureIsToldOnceAndLeavesNoPartialFile) {
    const struct {
        const char* name;
        std::function<void(AuthoringRig&)> arrange;
        AuthoringOutcome outcome;
        std::string message;
        uint32_t bytes;
    } rows[] = {
        {"no folder", [](AuthoringRig& a) { a.out = a.dir.File("missing/song.WAV"); },
         AuthoringOutcome::kFailed, kFileOpenFailedMessage, 0},
        {"header", [](AuthoringRig& a) { a.authoring.SetOutputOpener(FailAfter(10)); },
         AuthoringOutcome::kFailed, kHeaderWriteFailedMessage, 0},
        {"write", [](AuthoringRig& a) { a.authoring.SetOutputOpener(FailAfter(200000)); },
         AuthoringOutcome::kFailed, kFileWriteFailedMessage, 240000},
        {"size limit", [](AuthoringRig& a) { a.authoring.SetOutputOpener(OpenWavFile, 100000); },
         AuthoringOutcome::kFailed, kFileWriteFailedMessage, 80000},
        {"rcp", [](AuthoringRig& a) { a.song = a.dir.File("tune.rcp"); }, AuthoringOutcome::kFailed,
         kRcpMissingMessage, 0},
        {"stop", [](AuthoringRig& a) { a.stop = 1; }, AuthoringOutcome::kTerminated,
         kAuthoringTerminatedMessage, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AuthoringRig a;
        row.arrange(a);
        EXPECT_EQ(a.authoring.Run(a.song, a.out, a.stop), row.outcome);
        EXPECT_EQ(a.Messages(), std::vector<std::string>{row.message});
        EXPECT_FALSE(std::filesystem::exists(a.out));
        EXPECT_EQ(a.authoring.bytesAuthored.load(), row.bytes);
    }
}

TEST(Authoring, AStopTerminatesAtTheNextChunk) {
    AuthoringRig a;
    int chunks = 0;
    EXPECT_EQ(a.authoring.Run(a.song, a.out, a.stop, [&](uint32_t) { a.stop = ++chunks == 2; }),
              AuthoringOutcome::kTerminated);
    EXPECT_EQ(a.authoring.bytesAuthored.load(), 160000u);
}

TEST(Authoring, FailuresNeverDeleteASpecialFileOrAStreamsTarget) {
    AuthoringRig a;
    ASSERT_EQ(mkfifo(a.out.c_str(), 0600), 0);
    a.authoring.SetOutputOpener(FailAfter(100, a.dir.File("elsewhere")));
    EXPECT_EQ(a.authoring.Run(a.song, a.out, a.stop), AuthoringOutcome::kFailed);
    struct stat info {};
    ASSERT_EQ(lstat(a.out.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    auto sink = std::make_unique<FailingFile>(OpenWavFile(a.dir.File("sink")), 1000);
    EXPECT_EQ(a.authoring.RunToStream(a.song, std::move(sink), 12345, a.stop),
              AuthoringOutcome::kFailed);
    EXPECT_TRUE(std::filesystem::exists(a.dir.File("sink")));
}

TEST(Authoring, ADryRunFindsTheFilesSizeAndABrokenSongGivesAnEmptyDataChunk) {
    uint32_t dataBytes = 0;
    {
        AuthoringRig dry(kEngineOpll);
        EXPECT_EQ(dry.authoring.DryRun(dry.song, dataBytes, dry.stop), AuthoringOutcome::kWritten);
    }
    AuthoringRig a(kEngineOpll);
    ASSERT_EQ(a.authoring.Run(a.song, a.out, a.stop), AuthoringOutcome::kWritten);
    EXPECT_EQ(dataBytes + 44, std::filesystem::file_size(a.out));
    EXPECT_GT(dataBytes, 44100u * 4);

    ASSERT_TRUE(test::SmfBuilder::WriteBytes(a.song, {'n', 'o', 't'}));
    ASSERT_EQ(a.authoring.Run(a.song, a.out, a.stop), AuthoringOutcome::kWritten);
    EXPECT_EQ(std::filesystem::file_size(a.out), 44u);
}

}  // namespace
}  // namespace zeblo
