// The edit view's list of what did not build, as QML reads it.
#include "editor/BuildErrorList.h"
#include "state/BuildErrors.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct ErrorList : FreshStateTest {
    ErrorList() { ensureQtApp(); }

    QVariant at(int row, BuildErrorList::Role role) { return list.data(list.index(row), role); }

    BuildErrorList list{nullptr, 0};
};

} // namespace

TEST_F(ErrorList, RowsNewestFirstTakenOnlyWhenTheListMoved)
{
    QSignalSpy resets(&list, &QAbstractItemModel::modelReset);
    QSignalSpy counts(&list, &BuildErrorList::countChanged);
    EXPECT_FALSE(list.refresh());
    EXPECT_EQ(list.rowCount(), 0);

    buildErrors().report({"fx/intro/shader.frag", 12, "0:12(3): error: `colour' undeclared"});
    buildErrors().report({"fx/intro/Skene.qml", 4, "Cannot assign to non-existent property \"nosuchproperty\""});
    // Nothing moves until the view looks again.
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_TRUE(list.refresh());
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(at(0, BuildErrorList::FileRole).toString(), "fx/intro/Skene.qml");
    EXPECT_EQ(at(0, BuildErrorList::LineRole).toInt(), 4);
    EXPECT_EQ(at(0, BuildErrorList::LocationRole).toString(), "fx/intro/Skene.qml:4");
    EXPECT_EQ(at(1, BuildErrorList::TextRole).toString(), "0:12(3): error: `colour' undeclared");
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(counts.count(), 1);

    // Looking again without a change resets nothing.
    EXPECT_FALSE(list.refresh());
    EXPECT_EQ(resets.count(), 1);

    // The shader built again: its entry goes.
    buildErrors().clearFile("fx/intro/shader.frag");
    EXPECT_TRUE(list.refresh());
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(at(0, BuildErrorList::FileRole).toString(), "fx/intro/Skene.qml");
    // An error without a line names the file alone.
    buildErrors().report({"fx/outro/Skene.qml", 0, "the skene could not be created"});
    list.refresh();
    EXPECT_EQ(at(0, BuildErrorList::LocationRole).toString(), "fx/outro/Skene.qml");
    EXPECT_EQ(list.roleNames().value(BuildErrorList::LineRole), "line");
}

TEST_F(ErrorList, TheTimerLooksAFewTimesASecond)
{
    BuildErrorList watching(nullptr, 50);
    buildErrors().report({"fx/a/Skene.qml", 1, "broken"});
    EXPECT_EQ(watching.rowCount(), 0);
    EXPECT_TRUE(waitUntil([&] { return watching.rowCount() == 1; }, 2000));
}
