#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "TempFolder.h"
#include "settings/PreferencesFile.h"

namespace zeblo {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::array<unsigned char, 200> Pattern() {
    std::array<unsigned char, 200> bytes;
    std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(1));
    return bytes;
}

TEST(PreferencesFile, LoadSucceedsOnlyWithAllBytesRead) {
    TempFolder folder;
    PreferencesFile file;
    file.SetPath(folder.File("prefs.bin"));
    std::array<unsigned char, 128> buffer{};
    EXPECT_FALSE(file.Load(buffer.data(), buffer.size())) << "missing file";

    const auto bytes = Pattern();
    WriteBytes(file.path(), bytes.data(), 127);
    EXPECT_FALSE(file.Load(buffer.data(), buffer.size())) << "127 bytes";

    WriteBytes(file.path(), bytes.data(), 128);
    ASSERT_TRUE(file.Load(buffer.data(), buffer.size()));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin()));

    // A longer file: the first 128 bytes, and nothing written past the buffer.
    WriteBytes(file.path(), bytes.data(), bytes.size());
    std::array<unsigned char, 129> guarded{};
    guarded[128] = 0xEE;
    ASSERT_TRUE(file.Load(guarded.data(), 128));
    EXPECT_TRUE(std::equal(guarded.begin(), guarded.begin() + 128, bytes.begin()));
    EXPECT_EQ(guarded[128], 0xEE);
}

TEST(PreferencesFile, SaveWritesExactlyTheRecordAndTruncates) {
    TempFolder folder;
    PreferencesFile file;
    file.SetPath(folder.File("prefs.bin"));
    const auto bytes = Pattern();
    WriteBytes(file.path(), std::array<unsigned char, 300>{}.data(), 300);

    ASSERT_TRUE(file.Save(bytes.data(), 128));
    const auto written = ReadBytes(file.path());
    ASSERT_EQ(written.size(), 128u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), bytes.begin()));
}

TEST(PreferencesFile, SaveFailsWhereNoFileCanBeCreated) {
    TempFolder folder;
    PreferencesFile file;
    file.SetPath(folder.File("no-such-folder/prefs.bin"));
    const auto bytes = Pattern();
    EXPECT_FALSE(file.Save(bytes.data(), 128));

    file.SetPath(folder.path().string());  // a folder is not a file
    EXPECT_FALSE(file.Save(bytes.data(), 128));
    EXPECT_FALSE(file.Load(std::array<unsigned char, 128>{}.data(), 128));
}

}  // namespace
}  // namespace zeblo
