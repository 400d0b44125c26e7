#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "midi/FakeRcpConverterControl.h"
#include "midi/RcpConverter.h"
#include "midi/Sequencer.h"
#include "modules/SoundModule.h"
#include "rcp/RcpWriter.h"
#include "settings/RecordingPrompt.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

// The fake library's controls, from the folder the converter loads it from.
struct FakeConverter : test::FakeRcpConverterControl {
    FakeConverter() : FakeRcpConverterControl(FAKE_RCPCV_DIR) {}
};

// Runs the test inside a fresh current folder, which the converted song must leave alone.
class InTempFolder : public testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir.Path());
        std::filesystem::remove(kConvertedRcpFile);
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    std::vector<std::string> Messages() const { return prompt.Texts(); }

    test::TempDir dir;
    std::filesystem::path previous;
    RecordingPrompt prompt;
};

TEST(RcpName, OnlyTheLastThreeCharactersUpperCasedCount) {
    const std::pair<const char*, bool> names[] = {
        {"song.rcp", true},   {"song.R36", true},  {"dir/song.g36", true}, {"songRCP", true},
        {"song.rcp2", false}, {"song.mid", false}, {"cp", false},          {"", false}};
    for (const auto& [name, rcp] : names) EXPECT_EQ(IsRcpFamilyPath(name), rcp) << name;
}

TEST_F(InTempFolder, WithoutConverterRcpIsRefusedAndMidiNeedsNothing) {
    RcpConverter converter(prompt);
    EXPECT_FALSE(converter.Loaded());
    EXPECT_TRUE(converter.ConvertRcpFile("song.mid"));
    EXPECT_TRUE(prompt.prompts().empty());
    EXPECT_FALSE(converter.ConvertRcpFile("song.rcp"));
    EXPECT_EQ(Messages(), std::vector<std::string>{kRcpMissingMessage});
}

TEST_F(InTempFolder, ConvertsSavesAndReleasesInThatOrder) {
    RcpConverter converter(prompt);
    ASSERT_TRUE(converter.Load(FAKE_RCPCV_DIR));
    FakeConverter fake;
    ASSERT_TRUE(fake.Ready());
    fake.configure(7, 1);
    EXPECT_TRUE(converter.ConvertRcpFile("/music/first.RCP"));
    EXPECT_EQ(std::string(fake.log()),
              "convert(/music/first.RCP,0,0,0,0) save(7," + kConvertedRcpFile + ") delete(7)");
    EXPECT_TRUE(prompt.prompts().empty());
    // The converted file is a song the sequencer loads, in a folder of this user alone.
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    EXPECT_EQ(std::filesystem::status(std::filesystem::path(kConvertedRcpFile).parent_path())
                  .permissions(),
              std::filesystem::perms::owner_all);
    EXPECT_NE(test::ReadFile(kConvertedRcpFile).find("/music/first.RCP"), std::string::npos);
    EngineParameters parameters;
    Sequencer sequencer(parameters);
    EXPECT_TRUE(sequencer.LoadFile(kConvertedRcpFile.c_str()));

    // A second conversion overwrites it.
    fake.configure(9, 1);
    EXPECT_TRUE(converter.ConvertRcpFile("/music/second.g36"));
    EXPECT_EQ(std::string(fake.log()),
              "convert(/music/second.g36,0,0,0,0) save(9," + kConvertedRcpFile + ") delete(9)");
    const std::string converted = test::ReadFile(kConvertedRcpFile);
    EXPECT_NE(converted.find("/music/second.g36"), std::string::npos);
    EXPECT_EQ(converted.find("/music/first.RCP"), std::string::npos);
    // Files that need no conversion never reach the library.
    fake.configure(9, 1);
    EXPECT_TRUE(converter.ConvertRcpFile("/music/plain.mid"));
    EXPECT_STREQ(fake.log(), "");
}

// Each way a conversion can fail: what the library was asked, and the one box the user sees.
TEST_F(InTempFolder, FailuresAreToldOnceAndAnObjectIsAlwaysReleased) {
    const struct {
        const char* library;  // folder of the library to load
        int handle, written;  // what the fake's convert and save return
        bool freed;           // the library is let go before the conversion
        std::string log, message;
    } rows[] = {
        {FAKE_RCPCV_DIR, 0, 1, false, "convert(bad.rcp,0,0,0,0) ",
         "librcpcv.so was failed at converting."},
        {FAKE_RCPCV_DIR, 5, 0, false,
         "convert(bad.rcp,0,0,0,0) save(5," + kConvertedRcpFile + ") delete(5)",
         "librcpcv.so was failed at writing '.mid' file."},
        {INCOMPLETE_RCPCV_DIR, 0, 0, false, "", kRcpMissingMessage},  // an entry point missing
        {FAKE_RCPCV_DIR, 5, 1, true, "", kRcpMissingMessage},
    };
    for (const auto& row : rows) {
        prompt.Clear();
        RcpConverter converter(prompt);
        converter.Load(row.library);
        if (row.freed) converter.Free();
        FakeConverter fake;
        fake.configure(row.handle, row.written);
        EXPECT_FALSE(converter.ConvertRcpFile("bad.rcp"));
        EXPECT_EQ(std::string(fake.log()), row.log);
        EXPECT_EQ(Messages(), std::vector<std::string>{row.message});
        EXPECT_FALSE(row.written && std::filesystem::exists(kConvertedRcpFile)) << row.log;
    }
}

TEST_F(InTempFolder, NeverLoadsFromTheCurrentFolder) {
    std::filesystem::copy_file(FAKE_RCPCV_DIR "/librcpcv.so", dir.File("librcpcv.so"));
    const std::string empty = dir.File("program");
    std::filesystem::create_directory(empty);
    RcpConverter converter(prompt);
    EXPECT_FALSE(converter.Load(empty));
    EXPECT_FALSE(converter.Load(""));
    EXPECT_FALSE(converter.Loaded());
}

// The project's own converter, from the build tree and from an installed layout.
TEST_F(InTempFolder, OurConverterWritesASongTheSequencerPlays) {
    RcpConverter converter(prompt);
    ASSERT_TRUE(converter.Load(OUR_RCPCV_DIR));
    for (rcp::RcpFamily family : {rcp::RcpFamily::kVersion2, rcp::RcpFamily::kVersion3}) {
        test::RcpWriter song;
        song.family = family;
        song.title = song.V2() ? "Version 2" : "Version 3";
        song.tracks = {{.commands = {{0x3C, 48, 40, 100}}}};
        ASSERT_TRUE(song.WriteFile(dir.File("song.rcp")));
        EXPECT_TRUE(converter.ConvertRcpFile(dir.File("song.rcp")));
        EngineParameters parameters;
        Sequencer sequencer(parameters);
        SilentModule module;
        sequencer.SetModule(&module);
        uint64_t samples = 0;
        ASSERT_TRUE(sequencer.LoadFile(kConvertedRcpFile.c_str()));
        ASSERT_TRUE(sequencer.Measure(&samples, nullptr));
        EXPECT_EQ(std::string(sequencer.SongTitle()), song.title);
        EXPECT_NEAR(static_cast<double>(samples), 22050, 1000);  // one beat at 120
    }
    std::ofstream(dir.File("bad.g36")) << "COME ON MUSIC RECOMPOSER RCP3.0 but cut short";
    EXPECT_FALSE(converter.ConvertRcpFile(dir.File("bad.g36")));
    EXPECT_EQ(Messages(), std::vector<std::string>{kRcpConvertFailedMessage});

    std::filesystem::create_directories(dir.File("prefix/bin"));
    std::filesystem::create_directories(dir.File("prefix/lib/zeblo"));
    std::filesystem::copy_file(OUR_RCPCV_DIR "/librcpcv.so",
                               dir.File("prefix/lib/zeblo/librcpcv.so"));
    RcpConverter installed(prompt);
    EXPECT_TRUE(installed.Load(dir.File("prefix/bin")));
}

}  // namespace
}  // namespace zeblo
