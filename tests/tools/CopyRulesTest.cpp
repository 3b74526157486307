// Names, counters, the same-name rules and the copy itself, on real files.
#include "tools/CopyRules.h"
#include "support/QtPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {
void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = {}) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.flush(); // a later flush would set the time again
    if (modified.isValid())
        file.setFileTime(modified, QFileDevice::FileModificationTime);
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList names(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
} // namespace

TEST(CopyNames, SplitAndCounter) {
    const CopyNameParts a = SplitCopyName(QStringLiteral(" /data/in/report.pdf "));
    EXPECT_EQ(a.folder, QStringLiteral("/data/in/"));
    EXPECT_EQ(a.base, QStringLiteral("report"));
    EXPECT_EQ(a.extension, QStringLiteral("pdf"));
    const CopyNameParts b = SplitCopyName(QStringLiteral("data.longextn"));
    EXPECT_EQ(b.folder, QString());
    EXPECT_EQ(b.base, QStringLiteral("data.longextn"));
    EXPECT_EQ(b.extension, QString());
    const CopyNameParts c = SplitCopyName(QStringLiteral("/x/.bashrc"));
    EXPECT_EQ(c.base, QStringLiteral(".bashrc"));
    EXPECT_EQ(c.extension, QString());

    EXPECT_EQ(StripCounter(QStringLiteral("report[007]")).base, QStringLiteral("report"));
    EXPECT_EQ(StripCounter(QStringLiteral("report[007]")).counter, QStringLiteral("007"));
    EXPECT_EQ(StripCounter(QStringLiteral("report[ 12 ]")).base, QStringLiteral("report"));
    EXPECT_EQ(StripCounter(QStringLiteral("report[v2]")).base, QStringLiteral("report[v2]"));
    EXPECT_EQ(StripCounter(QStringLiteral("report[]")).base, QStringLiteral("report[]"));
    EXPECT_EQ(StripCounter(QStringLiteral("[001]")).base, QStringLiteral("[001]"));
    EXPECT_EQ(StripCounter(QStringLiteral("a]")).base, QStringLiteral("a]"));

    EXPECT_EQ(CounterName(QStringLiteral("r"), 1, QStringLiteral("pdf")), QStringLiteral("r[001].pdf"));
    EXPECT_EQ(CounterName(QStringLiteral("r"), 1000, QString()), QStringLiteral("r[1000]"));
}

TEST(CopyNames, AutomaticRenamingFindsTheFirstFreeName) {
    QTemporaryDir in, out;
    const QString report = in.filePath(QStringLiteral("report.pdf"));
    writeFile(report, "new");
    writeFile(out.filePath(QStringLiteral("report.pdf")), "old");
    ASSERT_TRUE(复制相同文件自动重命名(report, out.path()));
    EXPECT_EQ(readAll(out.filePath(QStringLiteral("report[001].pdf"))), QByteArray("new"));
    ASSERT_TRUE(复制相同文件自动重命名(report, out.path()));
    EXPECT_TRUE(QFileInfo::exists(out.filePath(QStringLiteral("report[002].pdf"))));
    EXPECT_EQ(readAll(out.filePath(QStringLiteral("report.pdf"))), QByteArray("old"));

    // A counter of the source is dropped first: report[007].pdf lands as report.pdf.
    QTemporaryDir other;
    const QString seventh = in.filePath(QStringLiteral("report[007].pdf"));
    writeFile(seventh, "7");
    writeFile(other.filePath(QStringLiteral("report[007].pdf")), "seven");
    ASSERT_TRUE(复制相同文件自动重命名(seventh, other.path()));
    EXPECT_EQ(readAll(other.filePath(QStringLiteral("report.pdf"))), QByteArray("7"));

    const QString readme = in.filePath(QStringLiteral("README"));
    const QString data = in.filePath(QStringLiteral("data.longextn"));
    writeFile(readme, "r");
    writeFile(data, "d");
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(复制相同文件自动重命名(readme, other.path()));
        ASSERT_TRUE(复制相同文件自动重命名(data, other.path()));
    }
    EXPECT_TRUE(QFileInfo::exists(other.filePath(QStringLiteral("README[001]"))));
    EXPECT_TRUE(QFileInfo::exists(other.filePath(QStringLiteral("data.longextn[001]"))));

    EXPECT_FALSE(复制相同文件自动重命名(in.filePath(QStringLiteral("missing.pdf")), other.path()));
}

TEST(CopyRules, SizeAndTimeDecideBetweenOverwriteAndRename) {
    QTemporaryDir in, out;
    const QDateTime t1 = QDateTime::currentDateTime().addDays(-3);
    const QDateTime t2 = t1.addSecs(3600);
    const QString source = in.filePath(QStringLiteral("a.pdf"));
    const QString target = out.filePath(QStringLiteral("a.pdf"));
    writeFile(source, "12345", t1);
    EXPECT_EQ(DecideCopy(CopyRule::Skip, source, target), CopyAction::Copy);

    writeFile(target, "abcde", t2); // same size, other time
    EXPECT_EQ(DecideCopy(CopyRule::Skip, source, target), CopyAction::Skip);
    EXPECT_EQ(DecideCopy(CopyRule::Overwrite, source, target), CopyAction::Overwrite);
    EXPECT_EQ(DecideCopy(CopyRule::Rename, source, target), CopyAction::Rename);
    EXPECT_EQ(DecideCopy(CopyRule::SizeAndTimeOverwrite, source, target), CopyAction::Rename);
    EXPECT_EQ(DecideCopy(CopyRule::SizeOverwrite, source, target), CopyAction::Overwrite);
    writeFile(target, "abcde", t1); // same size and time
    EXPECT_EQ(DecideCopy(CopyRule::SizeAndTimeOverwrite, source, target), CopyAction::Overwrite);
    writeFile(target, "abc", t1); // other size
    EXPECT_EQ(DecideCopy(CopyRule::SizeOverwrite, source, target), CopyAction::Rename);

    EXPECT_EQ(CopyRuleFromIndex(0), CopyRule::SizeAndTimeOverwrite);
    EXPECT_EQ(CopyRuleFromIndex(3), CopyRule::Rename);
}

TEST(CopyFiles, CompleteCopiesOnlyAndNothingLost) {
    QTemporaryDir in, out;
    const QDateTime old = QDateTime::currentDateTime().addDays(-10);
    const QString source = in.filePath(QStringLiteral("big.bin"));
    QByteArray bytes(5 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    writeFile(source, bytes, old);

    // Bigger than one chunk, on the worker: byte for byte, with its time.
    const QString target = out.filePath(QStringLiteral("big.bin"));
    ASSERT_TRUE(CopyFileResponsive(source, target, false));
    EXPECT_EQ(readAll(target), bytes);
    EXPECT_EQ(QFileInfo(target).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
    // Not replacing: an existing file is never touched.
    writeFile(target, "mine");
    EXPECT_FALSE(CopyFileSafely(source, target, false));
    EXPECT_EQ(readAll(target), QByteArray("mine"));
    // Replacing: the old file gives way to the complete copy.
    ASSERT_TRUE(CopyFileSafely(source, target, true));
    EXPECT_EQ(readAll(target), bytes);

    // A copy that cannot be put in place leaves neither the target changed nor a temporary file.
    const QString blocked = out.filePath(QStringLiteral("blocked.bin"));
    QDir().mkpath(blocked + QStringLiteral("/inside"));
    EXPECT_FALSE(CopyFileSafely(source, blocked, true));
    EXPECT_TRUE(QFileInfo(blocked + QStringLiteral("/inside")).isDir());
    EXPECT_FALSE(CopyFileSafely(in.filePath(QStringLiteral("gone.bin")),
                                out.filePath(QStringLiteral("gone.bin")), true));
    EXPECT_EQ(names(out.path()), QStringList{QStringLiteral("big.bin")});
}
