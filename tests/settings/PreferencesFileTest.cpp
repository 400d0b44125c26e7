#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "settings/PreferencesFile.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

TEST(PreferencesFile, WholeRecordsOnlyAndNeverPastTheBuffer) {
    test::TempDir dir;
    PreferencesFile file;
    file.SetPath(dir.File("prefs.bin"));
    std::string pattern(200, '\0');
    std::iota(pattern.begin(), pattern.end(), char{1});
    std::array<char, 129> buffer{};
    EXPECT_FALSE(file.Load(buffer.data(), 128)) << "missing file";
    test::WriteFile(file.path(), pattern.substr(0, 127));
    EXPECT_FALSE(file.Load(buffer.data(), 128)) << "127 bytes";

    test::WriteFile(file.path(), pattern);
    buffer[128] = 'G';
    ASSERT_TRUE(file.Load(buffer.data(), 128));
    EXPECT_EQ(std::string(buffer.data(), 129), pattern.substr(0, 128) + "G");

    ASSERT_TRUE(file.Save(pattern.data() + 1, 128));
    EXPECT_EQ(test::ReadFile(file.path()), pattern.substr(1, 128)) << "truncated to the record";

    file.SetPath(dir.File("no-such-folder/prefs.bin"));
    EXPECT_FALSE(file.Save(pattern.data(), 128));
    file.SetPath(dir.Path().string());  // a folder is not a file
    EXPECT_FALSE(file.Save(pattern.data(), 128));
    EXPECT_FALSE(file.Load(buffer.data(), 128));
}

}  // namespace
}  // namespace zeblo
