// Authoring's failures and edges; what a finished run writes is frozen by the golden table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/Authoring.h"
#include "engine/PlayerMessages.h"
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
    AuthoringRig() {
        EXPECT_TRUE(test::DenseSong({.seconds = 3, .melodicTracks = 4}).WriteFile(song));
    }
    std::vector<std::string> Messages() const { return prompt.Texts(); }
    test::TempDir dir;
    std::string song = dir.File("song.mid");
    std::string out = dir.File("song.WAV");
    test::RenderRig rig;
    RecordingPrompt prompt;
    RcpConverter converter{prompt};
    Authoring authoring{*rig.context, *rig.renderer, converter, prompt};
    std::atomic<int32_t> stop{0};
    Authoring::Progress progress;
    int chunks = 0;
};

TEST(Authoring, OutputNamesReplaceTheFileNamesLastExtensionByWav) {
    const std::pair<std::string, std::string> rows[] = {
        {"dir/Song.Mid", "dir/Song.WAV"},
        {"tune.midi", "tune.WAV"},
        {"noext", "noext.WAV"},
        {"a.b/noext", "a.b/noext.WAV"},
        {"x.tar.rcp", "x.tar.WAV"},
        {"曲.ミディ", "曲.WAV"},
        {".hidden", ".WAV"},
        {"end.", "end.WAV"},
    };
    for (const auto& [song, output] : rows) EXPECT_EQ(AuthoringOutputPath(song), output) << song;
}

TEST(Authoring, EveryFailureIsToldOnceAndLeavesNoPartialFile) {
    using Arrange = void (*)(AuthoringRig&);
    const std::tuple<Arrange, std::string, uint32_t> rows[] = {
        {[](AuthoringRig& a) { a.out = a.dir.File("missing/song.WAV"); }, kFileOpenFailedMessage,
         0},
        {[](AuthoringRig& a) { a.authoring.SetOutputOpener(FailAfter(10)); },
         kHeaderWriteFailedMessage, 0},
        {[](AuthoringRig& a) { a.authoring.SetOutputOpener(FailAfter(200000)); },
         kFileWriteFailedMessage, 240000},
        {[](AuthoringRig& a) { a.authoring.SetOutputOpener(OpenWavFile, 100000); },
         kFileWriteFailedMessage, 80000},
        {[](AuthoringRig& a) { a.song = a.dir.File("tune.rcp"); }, kRcpMissingMessage, 0},
        {[](AuthoringRig& a) { a.progress = [&a](uint32_t) { a.stop = ++a.chunks == 2; }; },
         kAuthoringTerminatedMessage, 160000},
    };
    for (const auto& [arrange, message, bytes] : rows) {
        SCOPED_TRACE(message);
        AuthoringRig a;
        arrange(a);
        const AuthoringOutcome outcome = a.authoring.Run(a.song, a.out, a.stop, a.progress);
        EXPECT_EQ(outcome, a.stop ? AuthoringOutcome::kTerminated : AuthoringOutcome::kFailed);
        EXPECT_EQ(a.Messages(), std::vector<std::string>{message});
        EXPECT_FALSE(std::filesystem::exists(a.out));
        EXPECT_EQ(a.authoring.bytesAuthored.load(), bytes);
    }
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

// A dropped file that does not load is refused before any file is opened: its own output name
// may be the song itself.
TEST(Authoring, ASongThatDoesNotLoadIsRefusedAndTouchesNothing) {
    AuthoringRig a;
    a.song = a.dir.File("x.WAV");
    ASSERT_TRUE(tools::SmfBuilder::WriteBytes(a.song, {'n', 'o', 't'}));
    EXPECT_EQ(a.authoring.Run(a.song, AuthoringOutputPath(a.song), a.stop),
              AuthoringOutcome::kFailed);
    EXPECT_EQ(a.Messages(), std::vector<std::string>{kUnknownFileMessage});
    EXPECT_EQ(std::filesystem::file_size(a.song), 3u);
}

}  // namespace
}  // namespace zeblo
