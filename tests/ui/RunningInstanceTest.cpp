// The beacon between two instances, both ends in this process: a second
// instance's request raises the first one's window; with no first instance the
// request fails.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavrel::test
