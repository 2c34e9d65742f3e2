// One window per settings file: the lock between two processes, and what is not a refusal.
#include "settings/instance_lock.h"

#include "child_process.h"
#include "unwritable_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace torvex {
namespace {

namespace fs = std::filesystem;

constexpr char kHoldInstance[] = "TORVEX_TEST_HOLD_INSTANCE";

const int instanceChild = childRole(kHoldInstance, [](const std::string &settingsFile) {
    if ((new InstanceLock(settingsFile))->state() != InstanceLock::State::Held)
        std::_Exit(2);
});

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path()
            / ("torvex_instance_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "a");
        fs::create_directories(root_ / "b");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path settings(const char *folder) const { return root_ / folder / "config.ini"; }

    fs::path root_;
};

// A second start on one settings file is refused while the first runs, by another spelling of the folder too;
// a copy with a settings file of its own is not; a killed holder leaves nothing behind that refuses.
TEST_F(InstanceLockTest, RefusedWhileAnotherProcessHoldsTheFileUntilItIsKilled)
{
    ChildProcess child(kHoldInstance, settings("a").string());
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(waitForFile(settings("a").string() + ".ready"));

    EXPECT_EQ(InstanceLock(settings("a")).state(), InstanceLock::State::HeldElsewhere);
    EXPECT_EQ(InstanceLock(root_ / "b" / ".." / "a" / "config.ini").state(), InstanceLock::State::HeldElsewhere);
    EXPECT_EQ(InstanceLock(settings("b")).state(), InstanceLock::State::Held);

    child.kill();
    const InstanceLock lock(settings("a"));
    EXPECT_EQ(lock.state(), InstanceLock::State::Held);
    // Held within this process as well.
    EXPECT_EQ(InstanceLock(settings("a")).state(), InstanceLock::State::HeldElsewhere);
}

#ifndef _WIN32
// Where no lock can be taken the program must still start: that is no refusal.
TEST_F(InstanceLockTest, FolderWithoutALockFileThatCannotBeWrittenIsNoRefusal)
{
    const UnwritableFolder readOnly(root_ / "a");
    EXPECT_EQ(InstanceLock(settings("a")).state(), InstanceLock::State::Unavailable);
}
#endif

} // namespace
} // namespace torvex
