// The cache viewer's rules without a window: the TYPE column, the folder
// listings of the all-users view, and what deletion may touch.
#include "tools/CacheViewerRules.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {
void touch(const QString &path, const QByteArray &bytes = "x") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList relative(const QString &root, const QStringList &paths) {
    QStringList out;
    for (const QString &p : paths)
        out << QDir(root).relativeFilePath(p);
    return out;
}
} // namespace

TEST(CacheType, AddressesAndPaths) {
    EXPECT_EQ(CacheTypeOf(QStringLiteral("http://h/dir/file.pdf?x=1#top")), QStringLiteral("pdf"));
    EXPECT_EQ(CacheTypeOf(QStringLiteral("https://h/download.aspx?id=7")), QStringLiteral("aspx"));
    EXPECT_EQ(CacheTypeOf(QStringLiteral("https://h/report.document")), QString());
    EXPECT_EQ(CacheTypeOf(QStringLiteral("https://h/")), QString());
    EXPECT_EQ(CacheTypeOf(QStringLiteral("https://h/a.b/readme")), QString());
    // A nested address is cut off at its scheme.
    EXPECT_EQ(CacheTypeOf(QStringLiteral("https://h/x.php?u=http://o/y.pdf")), QStringLiteral("php"));
    EXPECT_EQ(CacheTypeOf(QStringLiteral("/home/u/.cache/p/page.HTM")), QStringLiteral("HTM"));
    EXPECT_EQ(CacheTypeOf(QStringLiteral("/home/u/.cache/p/0123456789abcdef_0")), QString());
}

TEST(CacheFolders, ListingOrderLinksAndSkippedNames) {
    QTemporaryDir temp;
    const QString root = temp.path();
    touch(root + QStringLiteral("/b/inner.txt"));
    touch(root + QStringLiteral("/a/deep/leaf.htm"));
    touch(root + QStringLiteral("/a/file1"));
    touch(root + QStringLiteral("/top.pdf"));
    touch(root + QStringLiteral("/pageFILE.sys"));
    touch(root + QStringLiteral("/a/RECYCLER/kept.bin")); // only a drive root skips it
    QTemporaryDir outside;
    touch(outside.path() + QStringLiteral("/secret.doc"));
    ASSERT_TRUE(QFile::link(outside.path(), root + QStringLiteral("/linkdir")));
    ASSERT_TRUE(
        QFile::link(outside.path() + QStringLiteral("/secret.doc"), root + QStringLiteral("/linkfile")));

    QStringList folders;
    ListFolders(root, &folders, true);
    EXPECT_EQ(relative(root, folders), (QStringList{QStringLiteral("a"), QStringLiteral("b"),
                                                    QStringLiteral("a/RECYCLER"), QStringLiteral("a/deep")}));
    QStringList shallow;
    ListFolders(root, &shallow, false);
    EXPECT_EQ(relative(root, shallow), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));

    QStringList files;
    ListFiles(root, &files, true);
    // Each folder's own files before its subfolders'; links listed, never followed.
    EXPECT_EQ(relative(root, files),
              (QStringList{QStringLiteral("linkdir"), QStringLiteral("linkfile"), QStringLiteral("top.pdf"),
                           QStringLiteral("a/file1"), QStringLiteral("a/RECYCLER/kept.bin"),
                           QStringLiteral("a/deep/leaf.htm"), QStringLiteral("b/inner.txt")}));

    QStringList none;
    ListFiles(QStringLiteral("relative/path"), &none, true);
    ListFiles(root + QStringLiteral("/missing"), &none, true);
    EXPECT_TRUE(none.isEmpty());
}

TEST(CacheFolders, DeletionStaysInsideTheCacheFolders) {
    QTemporaryDir temp;
    const QString cache = QFileInfo(temp.path()).canonicalFilePath() + QStringLiteral("/cache");
    touch(cache + QStringLiteral("/entry.htm"));
    QTemporaryDir outside;
    const QString secret = outside.filePath(QStringLiteral("secret.doc"));
    touch(secret);

    EXPECT_TRUE(IsInsideFolder(cache + QStringLiteral("/entry.htm"), cache));
    EXPECT_TRUE(IsInsideFolder(cache + QStringLiteral("/sub/x"), cache));
    EXPECT_FALSE(IsInsideFolder(cache + QStringLiteral("/../cache-other/x"), cache));
    EXPECT_FALSE(IsInsideFolder(cache + QStringLiteral("2/x"), cache));
    EXPECT_FALSE(IsInsideFolder(cache, cache));
    EXPECT_FALSE(IsInsideFolder(secret, cache));
    // A folder link inside the cache leads outside: what lies behind it is not inside.
    ASSERT_TRUE(QFile::link(outside.path(), cache + QStringLiteral("/link")));
    EXPECT_FALSE(IsInsideFolder(cache + QStringLiteral("/link/secret.doc"), cache));
    EXPECT_TRUE(IsInsideFolder(cache + QStringLiteral("/link"), cache));

    // Force delete removes a link, not its target, and a read-only file.
    EXPECT_TRUE(ForceDeleteFile({cache}, cache + QStringLiteral("/link")));
    EXPECT_FALSE(QFileInfo(cache + QStringLiteral("/link")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(secret));
    QFile::setPermissions(cache + QStringLiteral("/entry.htm"), QFileDevice::ReadOwner);
    EXPECT_FALSE(ForceDeleteFile({cache + QStringLiteral("2")}, cache + QStringLiteral("/entry.htm")));
    EXPECT_TRUE(ForceDeleteFile({cache}, cache + QStringLiteral("/entry.htm")));
    EXPECT_FALSE(QFileInfo::exists(cache + QStringLiteral("/entry.htm")));
    EXPECT_FALSE(ForceDeleteFile({cache}, cache + QStringLiteral("/never-there")));
    EXPECT_FALSE(ForceDeleteFile({cache}, cache + QStringLiteral("/../x")));
    EXPECT_FALSE(ForceDeleteFile({cache}, cache));
}

TEST(CacheFolders, EmptyFoldersGoChildrenFirstButTheLiveCacheStays) {
    QTemporaryDir temp;
    const QString root = QFileInfo(temp.path()).canonicalFilePath();
    for (const char *f : {"/x/y/z", "/x/w", "/full", "/live/Cache/Cache_Data/index-dir"})
        QDir().mkpath(root + QLatin1String(f));
    touch(root + QStringLiteral("/full/keep.bin"));
    QStringList folders;
    ListFolders(root, &folders, true);
    RemoveEmptyFolders(folders, root + QStringLiteral("/live"), {root});
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/x")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/full/keep.bin")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/live/Cache/Cache_Data/index-dir")));
}

// Between listing and deleting, a user swaps her cache folder (or a folder
// in it) for a link to a folder of someone else's that holds the same names:
// the deletes of the listed paths touch nothing there.
TEST(CacheFolders, AFolderSwappedForALinkAfterListingStopsTheDeletes) {
    QTemporaryDir temp;
    const QString base = QFileInfo(temp.path()).canonicalFilePath();
    const QString cache = base + QStringLiteral("/home/ann/cache");
    const QString victim = base + QStringLiteral("/etc");
    for (const QString &root : {cache, victim}) {
        touch(root + QStringLiteral("/shadow"), "secret");
        touch(root + QStringLiteral("/sub/passwd"), "secret");
        QDir().mkpath(root + QStringLiteral("/empty"));
    }
    QStringList folders, files;
    ListFolders(cache, &folders, true);
    ListFiles(cache, &files, true);
    ASSERT_EQ(files.size(), 2);

    // The whole cache folder is now a link.
    ASSERT_TRUE(QDir(cache).removeRecursively());
    ASSERT_TRUE(QFile::link(victim, cache));
    for (const QString &file : std::as_const(files))
        EXPECT_FALSE(ForceDeleteFile({cache}, file)) << file.toStdString();
    RemoveEmptyFolders(folders, {}, {cache});
    EXPECT_TRUE(QFileInfo::exists(victim + QStringLiteral("/shadow")));
    EXPECT_TRUE(QFileInfo::exists(victim + QStringLiteral("/sub/passwd")));
    EXPECT_TRUE(QFileInfo(victim + QStringLiteral("/empty")).isDir());

    // A real cache folder again, with one folder in it a link.
    ASSERT_TRUE(QFile::remove(cache));
    touch(cache + QStringLiteral("/shadow"));
    ASSERT_TRUE(QFile::link(victim + QStringLiteral("/sub"), cache + QStringLiteral("/sub")));
    EXPECT_FALSE(ForceDeleteFile({cache}, cache + QStringLiteral("/sub/passwd")));
    EXPECT_TRUE(QFileInfo::exists(victim + QStringLiteral("/sub/passwd")));
    EXPECT_TRUE(ForceDeleteFile({cache}, cache + QStringLiteral("/shadow")));
    EXPECT_TRUE(QFileInfo::exists(victim + QStringLiteral("/shadow")));
    // A link above the cache folder is refused as well.
    ASSERT_TRUE(QFile::link(base + QStringLiteral("/home"), base + QStringLiteral("/homes")));
    touch(cache + QStringLiteral("/again"));
    EXPECT_FALSE(ForceDeleteFile({base + QStringLiteral("/homes/ann/cache")},
                                 base + QStringLiteral("/homes/ann/cache/again")));
    EXPECT_TRUE(QFileInfo::exists(cache + QStringLiteral("/again")));
}

TEST(CacheFolders, UsersCacheFoldersMustBeRealFoldersBelowTheirHome) {
    QTemporaryDir temp;
    const QString sub = QStringLiteral(".cache/Docharvest/Docharvest");
    const QString ann = temp.filePath(QStringLiteral("ann"));
    const QString bob = temp.filePath(QStringLiteral("bob"));
    const QString eve = temp.filePath(QStringLiteral("eve"));
    const QString nobody = temp.filePath(QStringLiteral("nobody"));
    QDir().mkpath(ann + QLatin1Char('/') + sub);
    QDir().mkpath(bob + QLatin1Char('/') + sub);
    QDir().mkpath(nobody);
    // Eve's cache folder is a link to a folder elsewhere: it is not listed.
    QDir().mkpath(eve + QStringLiteral("/.cache/Docharvest"));
    ASSERT_TRUE(QFile::link(ann + QLatin1Char('/') + sub, eve + QLatin1Char('/') + sub));

    const QList<UserCacheFolder> found = FindUserCacheFolders({{QStringLiteral("ann"), ann},
                                                               {QStringLiteral("bob"), bob},
                                                               {QStringLiteral("eve"), eve},
                                                               {QStringLiteral("nobody"), nobody}},
                                                              {sub});
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[0].user, QStringLiteral("ann"));
    EXPECT_EQ(found[0].folder,
              QDir::toNativeSeparators(QFileInfo(ann).canonicalFilePath() + QLatin1Char('/') + sub));
    EXPECT_EQ(found[1].user, QStringLiteral("bob"));

    // The running user comes first, with the home the program runs with.
    const QList<UserHome> homes = SystemUserHomes();
    ASSERT_FALSE(homes.isEmpty());
    EXPECT_EQ(QFileInfo(homes.first().home).canonicalFilePath(),
              QFileInfo(QDir::homePath()).canonicalFilePath());
    ASSERT_EQ(ProgramCacheSubPaths().size(), 1);
    EXPECT_TRUE(QFileInfo(QDir::home().filePath(ProgramCacheSubPaths().first()))
                    .absoluteFilePath()
                    .endsWith(QStringLiteral("Docharvest/Docharvest")));
}
