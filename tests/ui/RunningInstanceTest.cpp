// The beacon between two instances, both ends in this process: a second
// instance's request raises the first one's window; with no first instance the
// request fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLockFile>
#include <cstdlib>

#include "support/TestSupport.h"
#include "ui/UiTestSupport.h"
#include "ui/qt/RunningInstance.h"

namespace tavrel::test {
namespace {

TEST(RunningInstanceTest, ASecondInstanceAsksTheFirstToRaiseItsWindow) {
    qtApp();
    TempDir runtime;
    const QString name = ui::RunningInstance::socketName(QString::fromStdString(runtime.path().string()));
    EXPECT_FALSE(ui::RunningInstance::askToRaise(name));

    ui::RunningInstance first;
    int raised = 0;
    first.onRaise = [&raised] { ++raised; };
    ASSERT_TRUE(first.listen(name));
    EXPECT_TRUE(ui::RunningInstance::askToRaise(name));
    EXPECT_TRUE(pumpUntil([&] { return raised == 1; }));
}

// One instance per runtime folder: the lock of a wizard in another folder (a
// test's own XDG_RUNTIME_DIR, or TMPDIR when that is unset) is not the user's.
TEST(RunningInstanceTest, TheLockLivesInTheRuntimeFolderOrTheTemporaryOne) {
    qtApp();
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string keepRuntime = oldRuntime ? oldRuntime : "", keepTmp = oldTmp ? oldTmp : "";
    TempDir user, test, tmp;
    ::chmod(user.path().c_str(), 0700);
    ::chmod(test.path().c_str(), 0700);
    auto folderWith = [](const TempDir* runtime, const TempDir& temporary) {
        if (runtime) setenv("XDG_RUNTIME_DIR", runtime->path().c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", temporary.path().c_str(), 1);
        return ui::RunningInstance::runtimeFolder();
    };
    const QString userFolder = folderWith(&user, tmp);
    EXPECT_EQ(userFolder.toStdString(), user.path().string());
    QLockFile usersWizard(ui::RunningInstance::lockPath(userFolder));
    ASSERT_TRUE(usersWizard.tryLock(0));
    QLockFile second(ui::RunningInstance::lockPath(folderWith(&user, tmp)));
    EXPECT_FALSE(second.tryLock(0));
    QLockFile testsWizard(ui::RunningInstance::lockPath(folderWith(&test, tmp)));
    EXPECT_TRUE(testsWizard.tryLock(0));
    const QString fallback = folderWith(nullptr, tmp);
    EXPECT_TRUE(fallback.startsWith(QString::fromStdString(tmp.path().string()))) << fallback.toStdString();

    if (oldRuntime) setenv("XDG_RUNTIME_DIR", keepRuntime.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    if (oldTmp) setenv("TMPDIR", keepTmp.c_str(), 1);
    else unsetenv("TMPDIR");
}

}  // namespace
}  // namespace tavrel::test
