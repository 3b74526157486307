#include "support/QtPrinters.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace dh;

namespace {

const QString BadFolderName = QStringLiteral("文件夹名称有误！不能创建文件夹！");

class FileHelpersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Messages::Clear();
    }
    // A path inside the temporary folder, in native form.
    QString At(const QString &relative) const
    {
        return QDir::toNativeSeparators(m_dir.path() + QLatin1Char('/') + relative);
    }
    QString Touch(const QString &relative) const
    {
        QFile file(At(relative));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << relative.toStdString();
        return file.fileName();
    }
    static QString Chinese(int count) { return QString(count, QChar(0x4E2D)); }

    QTemporaryDir m_dir;
};

QString Sep() { return QString(PathSeparator()); }

} // namespace

TEST_F(FileHelpersTest, FileExistsTestsFilesOnly)
{
    const QString file = Touch(QStringLiteral("a.pdf"));
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(QStringLiteral("  ") + file + QStringLiteral("\t")));
    EXPECT_FALSE(FileExists(m_dir.path()));
    EXPECT_FALSE(FileExists(At(QStringLiteral("missing.pdf"))));
    EXPECT_FALSE(FileExists(QStringLiteral("   ")));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(file + QChar(0) + QStringLiteral("x")));
    EXPECT_FALSE(FileExists(QString(1 << 20, QLatin1Char('x'))));
}

TEST_F(FileHelpersTest, FileExistsReadsFileAddresses)
{
    const QString file = Touch(QStringLiteral("b.pdf"));
    const QString address = QUrl::fromLocalFile(file).toString();
    ASSERT_TRUE(address.startsWith(QLatin1String("file:///")));
    EXPECT_TRUE(FileExists(address));
    EXPECT_TRUE(FileExists(QStringLiteral("FILE:///") + address.mid(8)));
    EXPECT_EQ(LocalFilePath(address), QDir::toNativeSeparators(file));
    EXPECT_FALSE(FileExists(QStringLiteral("file:///")));
}

TEST_F(FileHelpersTest, FolderExistsTakesThePathAsGiven)
{
    const QString file = Touch(QStringLiteral("c.txt"));
    EXPECT_TRUE(FolderExists(m_dir.path()));
    EXPECT_FALSE(FolderExists(file));
    EXPECT_FALSE(FolderExists(QStringLiteral("  ")));
    EXPECT_FALSE(FolderExists(QStringLiteral(" ") + m_dir.path())); // not trimmed
    EXPECT_FALSE(FolderExists(m_dir.path() + QChar(0)));
#ifdef Q_OS_WIN
    EXPECT_TRUE(FolderExists(QStringLiteral("a:\\")));
#endif
}

TEST(MakeSafeFileName, RemovesForbiddenCharactersAndOuterDots)
{
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("..a:b*c?.. ")), QStringLiteral("abc.. "));
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("...pdf...")), QStringLiteral("pdf"));
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("a\\b/c:d*e?f\"g<h>i|j")), QStringLiteral("abcdefghij"));
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("l1\r\nl2") + QChar(0) + QStringLiteral("x")),
              QStringLiteral("l1l2x"));
    // Removed characters do not protect dots from the trimming.
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("?.a.|")), QStringLiteral("a"));
    EXPECT_EQ(MakeSafeFileName(QStringLiteral(".....")), QString());
    EXPECT_EQ(MakeSafeFileName(QStringLiteral(" keep ")), QStringLiteral(" keep "));
}

TEST(MakeSafeFileName, CollapsesSpaceRuns)
{
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("a  b   c")), QStringLiteral("a b c"));
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("a") + QString(1001, QLatin1Char(' ')) + QStringLiteral("b")),
              QStringLiteral("a b"));
    // Only spaces: tabs are not touched.
    EXPECT_EQ(MakeSafeFileName(QStringLiteral("a\t\tb")), QStringLiteral("a\t\tb"));
}

TEST(MakeSafeFileName, CutsToTwoHundredBytes)
{
    const QString ascii(300, QLatin1Char('x'));
    EXPECT_EQ(MakeSafeFileName(ascii), ascii.left(200));
    EXPECT_EQ(MakeSafeFileName(QString(1 << 20, QLatin1Char('y'))), QString(200, QLatin1Char('y')));
    // A mixed name: 100 ASCII characters leave room for 50 Chinese ones in the
    // code page, of which 33 fit into the UTF-8 limit here.
    const QString mixed = QString(100, QLatin1Char('a')) + QString(80, QChar(0x6587));
    const QString cut = MakeSafeFileName(mixed);
#ifdef Q_OS_WIN
    EXPECT_EQ(cut, mixed.left(150));
#else
    EXPECT_EQ(cut, mixed.left(133));
    EXPECT_LE(cut.toUtf8().size(), 200);
#endif
}

TEST(MakeSafeFileName, LongChineseNameCanBeCreated)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text(150, QChar(0x4E2D));
    const QString name = MakeSafeFileName(text);
#ifdef Q_OS_WIN
    EXPECT_EQ(name, text.left(100));
#else
    EXPECT_EQ(name, text.left(66)); // three bytes each in UTF-8
#endif
    QFile file(dir.filePath(name + QStringLiteral(".pdf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
    file.close();
    EXPECT_TRUE(FileExists(file.fileName()));
}

TEST(MakeSafeFileName, NeverSplitsASurrogatePair)
{
    QString emoji;
    for (int i = 0; i < 150; ++i)
        emoji += QString::fromUcs4(U"\U0001F600");
    const QString name = MakeSafeFileName(emoji);
    ASSERT_FALSE(name.isEmpty());
    EXPECT_EQ(name.size() % 2, 0);
    EXPECT_TRUE(name.at(name.size() - 1).isLowSurrogate());
    EXPECT_TRUE(emoji.startsWith(name));
#ifndef Q_OS_WIN
    EXPECT_LE(name.toUtf8().size(), 200);
#endif
}

TEST(MakeSafeFileName, LoneSurrogatesAndNulGiveAResult)
{
    QString text;
    for (int i = 0; i < 300; ++i)
        text += QChar(i % 2 ? 0xD800 : 0xDC00);
    text += QChar(0);
    const QString name = MakeSafeFileName(text);
    EXPECT_FALSE(name.isEmpty());
    EXPECT_LE(name.size(), 200);
    EXPECT_FALSE(name.contains(QChar(0)));
}

TEST_F(FileHelpersTest, CreateFolderPathCreatesEveryLevel)
{
    const QString result = CreateFolderPath(At(QStringLiteral("x/y/")));
    EXPECT_EQ(result, At(QStringLiteral("x/y")));
    EXPECT_TRUE(QFileInfo(At(QStringLiteral("x/y"))).isDir());
    // An existing folder is simply returned.
    EXPECT_EQ(CreateFolderPath(At(QStringLiteral("x/y"))), At(QStringLiteral("x/y")));
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

TEST_F(FileHelpersTest, CreateFolderPathStopsAtAnEmptyLevel)
{
    const QString doubled = At(QStringLiteral("p")) + Sep() + Sep() + QStringLiteral("q");
    EXPECT_EQ(CreateFolderPath(doubled), At(QStringLiteral("p")));
    EXPECT_FALSE(QFileInfo::exists(At(QStringLiteral("p/q"))));
    EXPECT_FALSE(QFileInfo::exists(At(QStringLiteral("q"))));
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

TEST_F(FileHelpersTest, CreateFolderPathCleansLevels)
{
    EXPECT_EQ(CreateFolderPath(At(QStringLiteral("a|b"))), At(QStringLiteral("ab")));
    EXPECT_TRUE(QFileInfo(At(QStringLiteral("ab"))).isDir());
    const QString nul = At(QStringLiteral("n")) + QChar(0) + QStringLiteral("ul");
    EXPECT_EQ(CreateFolderPath(nul), At(QStringLiteral("nul")));
    const QString longLevel(300, QLatin1Char('L'));
    EXPECT_EQ(CreateFolderPath(At(longLevel)), At(longLevel.left(200)));
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

TEST_F(FileHelpersTest, CreateFolderPathKeepsExistingLevelsAsTheyAre)
{
    // Hidden folders are ordinary on POSIX; a new level is still cleaned.
    ASSERT_TRUE(QDir().mkpath(At(QStringLiteral(".local/share"))));
    EXPECT_EQ(CreateFolderPath(At(QStringLiteral(".local/share/a|b"))), At(QStringLiteral(".local/share/ab")));
    EXPECT_FALSE(QFileInfo::exists(At(QStringLiteral("local"))));
}

TEST_F(FileHelpersTest, CreateFolderPathReportsALevelThatCleansToNothing)
{
    const QString result = CreateFolderPath(At(QStringLiteral("ok/*?*/below")));
    // What exists is returned; nothing below the bad level is created.
    EXPECT_EQ(result, At(QStringLiteral("ok")));
    EXPECT_FALSE(QFileInfo::exists(At(QStringLiteral("ok/below"))));
    ASSERT_TRUE(Messages::Last().has_value());
    EXPECT_EQ(Messages::Last()->text, BadFolderName);
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);

    Messages::Clear();
    EXPECT_EQ(CreateFolderPath(At(QStringLiteral("ok/..")) + Sep()), At(QStringLiteral("ok")));
    EXPECT_EQ(Messages::Shown().size(), 1);
}

TEST_F(FileHelpersTest, CreateFolderPathFailsWhereAFileIsInTheWay)
{
    Touch(QStringLiteral("plain"));
    EXPECT_EQ(CreateFolderPath(At(QStringLiteral("plain/sub"))), QString());
    EXPECT_EQ(CreateFolderPath(QString()), QString());
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

#ifdef Q_OS_WIN
TEST(CreateFolderPath, NetworkPathWithoutServerIsReported)
{
    Messages::Clear();
    EXPECT_EQ(CreateFolderPath(QStringLiteral("\\\\\\share\\x")), QString());
    ASSERT_TRUE(Messages::Last().has_value());
    EXPECT_EQ(Messages::Last()->text, BadFolderName);
}
#else
TEST(CreateFolderPath, RootIsItsOwnResult)
{
    Messages::Clear();
    EXPECT_EQ(CreateFolderPath(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(CreateFolderPath(QDir::tempPath() + QLatin1Char('/')), QDir::tempPath());
    EXPECT_TRUE(Messages::Shown().isEmpty());
}
#endif

TEST_F(FileHelpersTest, UniqueFilePathCountsOnFromTheLastFreeName)
{
    const QString a = Touch(QStringLiteral("a.pdf"));
    EXPECT_EQ(UniqueFilePath(a), At(QStringLiteral("a[0001].pdf")));
    Touch(QStringLiteral("a[0001].pdf"));
    EXPECT_EQ(UniqueFilePath(a), At(QStringLiteral("a[0002].pdf")));
    // A missing path comes back unchanged.
    EXPECT_EQ(UniqueFilePath(At(QStringLiteral("free.pdf"))), At(QStringLiteral("free.pdf")));
}

TEST_F(FileHelpersTest, UniqueFilePathReplacesAnExistingCounter)
{
    const QString third = Touch(QStringLiteral("a[0003].pdf"));
    EXPECT_EQ(UniqueFilePath(third), At(QStringLiteral("a.pdf")));
    Touch(QStringLiteral("a.pdf"));
    EXPECT_EQ(UniqueFilePath(third), At(QStringLiteral("a[0001].pdf")));
    // Not a number between the brackets: the brackets are part of the name.
    const QString x = Touch(QStringLiteral("a[x].pdf"));
    EXPECT_EQ(UniqueFilePath(x), At(QStringLiteral("a[x][0001].pdf")));
    const QString empty = Touch(QStringLiteral("e[].pdf"));
    EXPECT_EQ(UniqueFilePath(empty), At(QStringLiteral("e[][0001].pdf")));
}

TEST_F(FileHelpersTest, UniqueFilePathNamesWithoutExtension)
{
    const QString readme = Touch(QStringLiteral("readme"));
    EXPECT_EQ(UniqueFilePath(readme), At(QStringLiteral("readme[0001]")));
    // Folders do not take a name.
    const QString c = Touch(QStringLiteral("c.txt"));
    ASSERT_TRUE(QDir().mkdir(At(QStringLiteral("c[0001].txt"))));
    EXPECT_EQ(UniqueFilePath(c), At(QStringLiteral("c[0001].txt")));
}

TEST_F(FileHelpersTest, UniqueFilePathCutsLongBases)
{
    const QString base(150, QLatin1Char('b'));
    const QString full = Touch(base + QStringLiteral(".doc"));
    EXPECT_EQ(UniqueFilePath(full), At(base.left(100) + QStringLiteral(".doc")));
    Touch(base.left(100) + QStringLiteral(".doc"));
    EXPECT_EQ(UniqueFilePath(full), At(base.left(100) + QStringLiteral("[0001].doc")));
}

TEST(SplitFileName, SeparatesBaseAndShortExtension)
{
    const QString d = Sep() + QStringLiteral("d") + Sep();
    auto split = SplitFileName(d + QStringLiteral("report.backup1"));
    EXPECT_EQ(split.base, QStringLiteral("report.backup1"));
    EXPECT_EQ(split.extension, QString());
    split = SplitFileName(d + QStringLiteral("name"));
    EXPECT_EQ(split.base, QStringLiteral("name"));
    EXPECT_EQ(split.extension, QString());
    split = SplitFileName(d + QStringLiteral("x.tar.gz"));
    EXPECT_EQ(split.base, QStringLiteral("x.tar"));
    EXPECT_EQ(split.extension, QStringLiteral("gz"));
    split = SplitFileName(QStringLiteral("  ") + d + QStringLiteral(" my doc .abcdef  "));
    EXPECT_EQ(split.base, QStringLiteral("my doc"));
    EXPECT_EQ(split.extension, QStringLiteral("abcdef"));
    split = SplitFileName(d + QStringLiteral("a[0002].pdf"));
    EXPECT_EQ(split.base, QStringLiteral("a[0002]"));
    EXPECT_EQ(split.extension, QStringLiteral("pdf"));
}

TEST(FileNameFromPath, TakesTheLastSegmentWithoutExtension)
{
    EXPECT_EQ(FileNameFromPath(QStringLiteral("http://h/dir/Report.Final.pdf")),
              QStringLiteral("Report.Final"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("a\\b\\c.doc")), QStringLiteral("c"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("http://h/x/ a b .pdf")), QStringLiteral("a b"));
    EXPECT_EQ(FileNameFromPath(QStringLiteral("http://h/")), QString());
    // Neither a separator nor a dot: nothing is trimmed.
    EXPECT_EQ(FileNameFromPath(QStringLiteral("  name  ")), QStringLiteral("  name  "));
}

TEST(SiteRoot, KeepsSchemeAndHost)
{
    EXPECT_EQ(SiteRoot(QStringLiteral("http://host/dir/file")), QStringLiteral("http://host"));
    EXPECT_EQ(SiteRoot(QStringLiteral("https://host")), QStringLiteral("https://host"));
    EXPECT_EQ(SiteRoot(QStringLiteral("host/dir")), QStringLiteral("host"));
    EXPECT_EQ(SiteRoot(QStringLiteral("abc/d")), QStringLiteral("abc"));
    EXPECT_EQ(SiteRoot(QStringLiteral("ab/c")), QStringLiteral("ab/c"));
    EXPECT_EQ(SiteRoot(QStringLiteral("http:///x/y")), QStringLiteral("http:///x/y"));
    EXPECT_EQ(SiteRoot(QStringLiteral("HTTP://h:81/a")), QStringLiteral("HTTP://h:81"));
    EXPECT_EQ(SiteRoot(QString()), QString());
}

TEST(RemoveLineBreaks, RemovesOnlyBreaksAndNul)
{
    EXPECT_EQ(RemoveLineBreaks(QStringLiteral(" a\r\nb") + QChar(0) + QStringLiteral("\tc ")),
              QStringLiteral(" ab\tc "));
    EXPECT_EQ(RemoveLineBreaks(QStringLiteral("\r\n\r\n")), QString());
}

TEST(WithTrailingSeparator, AddsOnlyWhenMissing)
{
    const QString folder = Sep() + QStringLiteral("x");
    EXPECT_EQ(WithTrailingSeparator(folder), folder + Sep());
    EXPECT_EQ(WithTrailingSeparator(folder + Sep()), folder + Sep());
}

TEST(SpecialFolders, AreCreatedOrShapedAsExpected)
{
    const QString program = ProgramFolder();
    ASSERT_FALSE(program.isEmpty());
    EXPECT_TRUE(FolderExists(program));
    EXPECT_EQ(QDir::fromNativeSeparators(program),
              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
#ifdef Q_OS_WIN
    EXPECT_EQ(DefaultDownloadFolder(), QStringLiteral("c:\\12345\\"));
    EXPECT_FALSE(SystemFolder().isEmpty());
#else
    EXPECT_TRUE(DefaultDownloadFolder().endsWith(QLatin1String("/12345/")));
    EXPECT_TRUE(DefaultDownloadFolder().startsWith(
        QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)));
    EXPECT_EQ(SystemFolder(), QString());
#endif
    EXPECT_EQ(QDir::fromNativeSeparators(InternetCacheFolder()),
              QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/webengine"));
}

TEST(FileHelpersTotality, HugeAndBrokenTextGiveResults)
{
    QString broken = QString(1 << 20, QLatin1Char('.'));
    broken[7] = QChar(0);
    broken[500] = QChar(0xD83D); // lone high surrogate
    broken[90000] = QLatin1Char('/');
    broken[90001] = QChar(0xDE00); // lone low surrogate
    Messages::Clear();
    EXPECT_LE(MakeSafeFileName(broken).size(), 200);
    EXPECT_FALSE(FileExists(broken));
    EXPECT_FALSE(FolderExists(broken));
    EXPECT_EQ(UniqueFilePath(broken), broken);
    EXPECT_LE(SplitFileName(broken).extension.size(), 6);
    EXPECT_TRUE(broken.startsWith(SiteRoot(broken)));
    EXPECT_EQ(RemoveLineBreaks(broken).size(), broken.size() - 1);
    EXPECT_LT(FileNameFromPath(broken).size(), broken.size());
    // A relative first part that does not exist: nothing is created.
    EXPECT_EQ(CreateFolderPath(broken), QString());
}
