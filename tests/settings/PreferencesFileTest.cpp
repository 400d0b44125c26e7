#include <gtest/gtest.h>

#include <array>

#include "settings/PreferencesFile.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

// Short and longer files as a whole start are covered with the settings; here what no start
// shows: a longer file never spills past the buffer, and a save truncates to the record.
TEST(PreferencesFile, NeverReadsPastTheBufferAndSavesExactlyTheRecord) {
    test::TempDir dir;
    PreferencesFile file;
    file.SetPath(dir.File("prefs.bin"));
    const std::string longer = std::string(128, 'r') + std::string(72, 'x');
    test::WriteFile(file.path(), longer);
    std::array<char, 129> buffer{};
    buffer[128] = 'G';
    ASSERT_TRUE(file.Load(buffer.data(), 128));
    EXPECT_EQ(std::string(buffer.data(), 129), std::string(128, 'r') + "G");
    ASSERT_TRUE(file.Save(longer.data() + 50, 128));
    EXPECT_EQ(test::ReadFile(file.path()), longer.substr(50, 128));
    file.SetPath(dir.Path().string());  // a folder is not a file
    EXPECT_FALSE(file.Save(longer.data(), 128));
    EXPECT_FALSE(file.Load(buffer.data(), 128));
}

}  // namespace
}  // namespace zeblo
