// Saves that a crash cannot spoil: a process killed at random moments while
// it saves track files, setup files and editor projects leaves every file
// with its old content or its new one (tests/tools/crash_saves.cpp does the
// killing and the checking, from a process of its own that forks cleanly).
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CrashSafeSaves, AProcessKilledWhileSavingLeavesEveryFileOldOrNew)
{
    // In memory where it can be: flushing to a disk would only slow the
    // rounds down, and a kill tests the renames, not the disk.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/") : QDir::tempPath() + "/";
    QTemporaryDir dir(base + QStringLiteral("tarvonic-crash-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    QProcess saves;
    saves.start(QStringLiteral(CRASH_SAVES_PROGRAM), {dir.path(), QStringLiteral("300"), QStringLiteral("21")});
    ASSERT_TRUE(saves.waitForFinished(240000));
    const QString out = QString::fromLocal8Bit(saves.readAllStandardOutput());
    EXPECT_EQ(saves.exitCode(), 0) << out.toStdString();

    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("rounds (\\d+) broken (\\d+) newer (\\d+) leftovers (\\d+)")).match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    EXPECT_EQ(m.captured(1).toInt(), 300);
    EXPECT_EQ(m.captured(2).toInt(), 0);
    // The kills came in the middle of saving, not only between generations.
    EXPECT_GT(m.captured(3).toInt() + m.captured(4).toInt(), 0) << out.toStdString();
}
