#include "net/stagingfolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// What a killed program left (a folder with a partial file, a stray file, a
// link) goes at the sweep; a folder that a living download holds stays, as
// it would for a second instance of the program.
TEST(StagingFolder, SweepTakesWhatNoLivingDownloadHolds) {
    const fs::path root =
        fs::temp_directory_path() / ("lodestone-staging-test-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "k1LL3d");
    std::ofstream(root / "k1LL3d" / "download.download") << std::string(4096, 'x');
    std::ofstream(root / "stray") << "x";
    fs::create_directory_symlink(fs::temp_directory_path(), root / "link");
    {
        net::StagingFolder living(root);
        ASSERT_FALSE(living.Path().empty());
        std::ofstream(living.Path() / "download") << "partial";
        net::SweepStaging(root);
        EXPECT_TRUE(fs::exists(living.Path() / "download"));
        EXPECT_FALSE(fs::exists(root / "k1LL3d"));
        EXPECT_FALSE(fs::exists(root / "stray"));
        EXPECT_FALSE(fs::is_symlink(root / "link"));
        EXPECT_TRUE(fs::exists(fs::temp_directory_path()));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 1); // the lock file
    fs::remove_all(root);
}

} // namespace
