#include "download/SaveNaming.h"
#include "download/DownloadListModel.h"
#include "download/TypeDetection.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/TextCoding.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {

QString Native(const QString &path) {
    return QDir::toNativeSeparators(path);
}

QString Folder(const QTemporaryDir &dir) {
    return Native(dir.path()) + QDir::separator();
}

void Touch(const QString &path, const QByteArray &bytes = "old") {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

DownloadItem ItemIn(const QString &folder, const QString &name, const QString &type) {
    DownloadItem item;
    item.folder = folder;
    item.name = name;
    item.type = type;
    return item;
}

struct Vector {
    QString header;
    QString verdict;
};

// One row per case; TAB separates the fields and nothing is quoted.
QHash<QString, Vector> LoadVectors() {
    QHash<QString, Vector> vectors;
    QFile file(QString::fromUtf8(DH_FIXTURES_DIR) + QStringLiteral("/content-disposition/vectors.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return vectors;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        const QList<QByteArray> fields = lines.at(i).split('\t');
        if (fields.size() < 6)
            continue;
        const QByteArray octets = QByteArray::fromHex(fields.at(5));
        const QString header =
            octets.isEmpty() ? QString::fromUtf8(fields.at(1)) : QString::fromLatin1(octets);
        vectors.insert(QString::fromUtf8(fields.at(0)), {header, QString::fromUtf8(fields.at(4))});
    }
    return vectors;
}

bool AllAsciiLetters(const QString &text) {
    for (QChar c : text) {
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))))
            return false;
    }
    return true;
}

// Makes the file impossible to delete: a read-only folder, and for a
// privileged user, who ignores that, the file system's immutable flag.
// Returns false when neither holds here.

} // namespace

TEST(SaveNaming, RuleCaptions) {
    EXPECT_EQ(SameNameRuleCaption(SameNameRule::Skip), QStringLiteral("跳过"));
    EXPECT_EQ(SameNameRuleCaption(SameNameRule::Overwrite), QStringLiteral("覆盖"));
    EXPECT_EQ(SameNameRuleCaption(SameNameRule::Rename), QStringLiteral("重命名"));
    EXPECT_EQ(SameNameRuleFromCaption(QStringLiteral(" 跳过 ")), SameNameRule::Skip);
    EXPECT_EQ(SameNameRuleFromCaption(QStringLiteral("覆盖")), SameNameRule::Overwrite);
    EXPECT_EQ(SameNameRuleFromCaption(QStringLiteral("something")), SameNameRule::Rename);
}

TEST(SaveNaming, RenameFindsAFreeCounter) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    const auto rename = [&](const char *name, SameNameRule rule = SameNameRule::Rename) {
        return 重命名保存路径(f, QString::fromUtf8(name), QStringLiteral("pdf"), rule);
    };

    SavePath free = rename("report");
    EXPECT_EQ(free.path, f + QStringLiteral("report.pdf"));
    EXPECT_EQ(free.newName, QStringLiteral("report"));

    Touch(f + QStringLiteral("report.pdf"));
    free = rename("report");
    EXPECT_EQ(free.path, f + QStringLiteral("report[001].pdf"));
    EXPECT_EQ(free.newName, QStringLiteral("report[001]"));
    Touch(free.path);
    EXPECT_EQ(rename("report").path, f + QStringLiteral("report[002].pdf"));
    EXPECT_EQ(rename("report", SameNameRule::Overwrite).path, f + QStringLiteral("report.pdf"));

    Touch(f + QStringLiteral("report[7].pdf"));
    free = rename("report[7]");
    EXPECT_EQ(free.path, f + QStringLiteral("report[007].pdf"));
    EXPECT_EQ(free.newName, QStringLiteral("report[007]"));

    // brackets without a number are kept as 『』, but only when renaming is needed
    EXPECT_EQ(rename("a[x]").path, f + QStringLiteral("a[x].pdf"));
    Touch(f + QStringLiteral("a[x].pdf"));
    free = rename("a[x]");
    EXPECT_EQ(free.path, f + QStringLiteral("a『x』.pdf"));
    EXPECT_EQ(free.newName, QStringLiteral("a『x』"));

    Touch(f + QStringLiteral("名称[12].pdf"));
    EXPECT_EQ(rename("名称[12]").path, f + QStringLiteral("名称[012].pdf"));
    Touch(f + QStringLiteral("名称[012].pdf"));
    EXPECT_EQ(rename("名称[12]").path, f + QStringLiteral("名称[013].pdf"));

    // wider numbers are written in full; text after "]" goes with the counter
    Touch(f + QStringLiteral("x[1234].pdf"));
    EXPECT_EQ(rename("x[1234]").newName, QStringLiteral("x[1235]"));
    Touch(f + QStringLiteral("y[3]z.pdf"));
    EXPECT_EQ(rename("y[3]z").newName, QStringLiteral("y[003]"));
}

TEST(SaveNaming, RenameWithoutTypeHasNoDot) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    const QString noSeparator = Native(dir.path());
    EXPECT_EQ(重命名保存路径(noSeparator, QStringLiteral("notes"), QString(), SameNameRule::Rename).path,
              f + QStringLiteral("notes"));
    Touch(f + QStringLiteral("notes"));
    const SavePath free =
        重命名保存路径(noSeparator, QStringLiteral("notes"), QString(), SameNameRule::Rename);
    EXPECT_EQ(free.path, f + QStringLiteral("notes[001]"));
    EXPECT_EQ(free.newName, QStringLiteral("notes[001]"));
}

TEST(SaveNaming, SkipRuleMarksAnExistingFileDone) {
    QTemporaryDir dir;
    const QString f = Native(dir.path()); // no closing separator: one is added
    Touch(Folder(dir) + QStringLiteral("doc.pdf"), "12345");

    DownloadItem skipped = ItemIn(f, QStringLiteral("doc"), QStringLiteral("pdf"));
    EXPECT_FALSE(确定是需要下载(skipped, SameNameRule::Skip));
    EXPECT_EQ(skipped.state, ItemState::Done);
    EXPECT_EQ(skipped.size, QStringLiteral("5"));
    EXPECT_EQ(skipped.received, QStringLiteral("5"));
    EXPECT_EQ(skipped.percent, QStringLiteral("已存在，跳过"));

    for (SameNameRule rule : {SameNameRule::Overwrite, SameNameRule::Rename}) {
        DownloadItem item = ItemIn(f, QStringLiteral("doc"), QStringLiteral("pdf"));
        EXPECT_TRUE(确定是需要下载(item, rule));
        EXPECT_EQ(item.state, ItemState::Waiting);
        EXPECT_TRUE(item.percent.isEmpty());
    }
    DownloadItem absent = ItemIn(f, QStringLiteral("doc"), QStringLiteral("htm"));
    EXPECT_TRUE(确定是需要下载(absent, SameNameRule::Skip));
    EXPECT_EQ(absent.state, ItemState::Waiting);
}

TEST(SaveNaming, ContentDispositionLineFromHeaderBlock) {
    const QString block = QStringLiteral("HTTP/1.1 200 OK\r\nContent-Type: application/pdf\r\n"
                                         "  content-DISPOSITION:  attachment; filename=a.pdf \r\n"
                                         "Content-Disposition: inline\r\n\r\n");
    EXPECT_EQ(从网络文件Header获取ContentDisposition(block), QStringLiteral("attachment; filename=a.pdf"));
    EXPECT_EQ(
        从网络文件Header获取ContentDisposition(QStringLiteral("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n")),
        QString());
    EXPECT_EQ(从网络文件Header获取ContentDisposition(QString()), QString());
    EXPECT_EQ(从网络文件Header获取ContentDisposition(QStringLiteral("X-Content-Disposition: y")), QString());
}

TEST(SaveNaming, FileNameFromDispositionValue) {
    const auto parse = [](const QString &value) { return 从下载头信息ContentDisposition获取文件名(value); };
    SuggestedName n = parse(QStringLiteral("attachment; filename=\"%E4%B8%AD%E6%96%87.PDF\""));
    EXPECT_EQ(n.name, QStringLiteral("中文"));
    EXPECT_EQ(n.extension, QStringLiteral("PDF"));
    EXPECT_EQ(parse(QStringLiteral("attachment; filename=data.tar.gz")).extension, QStringLiteral("gz"));
    EXPECT_EQ(parse(QStringLiteral("attachment; filename=data.tar.gz")).name, QStringLiteral("data.tar"));
    EXPECT_EQ(parse(QStringLiteral("attachment; filename=x.pdf1")).extension, QStringLiteral("pdf"));
    n = parse(QStringLiteral("attachment; filename=x.backup"));
    EXPECT_EQ(n.extension, QString());
    EXPECT_EQ(n.name, QStringLiteral("x"));
    n = parse(QStringLiteral("attachment"));
    EXPECT_TRUE(n.name.isEmpty() && n.extension.isEmpty());

    // "utf-8" anywhere in the value chooses the self-deciding decoder, which
    // reads a lone two-byte shape as a code-page character.
    const QString escaped = QStringLiteral("attachment; filename=%C3%A9.pdf");
    EXPECT_EQ(parse(escaped).name, QString(QChar(0xE9)));
    EXPECT_EQ(parse(escaped + QStringLiteral("; filename*=UTF-8''x")).name,
              FromCp936(QByteArray::fromHex("C3A9")));
}

TEST(SaveNaming, DispositionVectorsFollowTheSimpleRule) {
    const QHash<QString, Vector> vectors = LoadVectors();
    ASSERT_EQ(vectors.size(), 150);
    const struct {
        const char *id;
        const char *name;
        const char *extension;
    } cases[] = {
        {"tc2231/inlonly", "", ""},
        {"tc2231/attwithasciifilename", "foo", "html"},
        {"tc2231/attwithasciifilenameucase", "foo", "html"},
        {"tc2231/attwithasciifilename25", "0000000000111111111122222", ""}, // no dot
        {"tc2231/attwithasciifnescapedquote", "\\quoting\\ tested",
         "html"},                                                   // quotes removed, backslashes kept
        {"tc2231/attwithquotedsemicolon", "Heres a semicolon", ""}, // cut at ";" inside the quotes
        {"tc2231/attwithfntokensq", "foo", "bar"},
        {"tc2231/attwithfnrawpctenca", "foo-A", "html"}, // decoded, unlike the RFC
        {"tc2231/attwithfnrawpctenclong", "foo-\u00e4-\u20ac", "html"},
        {"tc2231/attwithasciifilenamews1", "", ""},   // "filename =" is not "filename="
        {"tc2231/attmissingdisposition3", "bar", ""}, // first "filename=" even inside quotes
        {"tc2231/attbrokenquotedfn", "foo.html", "txt"},
        {"tc2231/attconfusedparam", "foo", "html"}, // found inside "xfilename="
        {"tc2231/dispextbadfn", "example", "txt"},
        {"tc2231/attabspath", "/foo", "html"},
        {"tc2231/attwithfn2231utf8", "", ""}, // only filename*=
        {"tc2231/attfncont", "", ""},
        {"tc2231/attwithnamepct", "", ""},
        {"tc2231/attfnboth", "foo-ae", "html"},
        {"tc2231/attfnboth2", "foo-ae", "html"}, // the plain form, though it comes second
        {"tc2231/attrfc2047quoted", "=?ISO-8859-1?Q?foo-=E4", "html"}, // "html?=" keeps its letters
        {"chromium/Filename-08", "", ""},                              // TAB before "="
        {"chromium/Filename-14", "abcdef", "pdf"},
        {"chromium/Filename-15", "abc  de", "pdf"}, // TAB and LF removed, double space kept
        {"chromium/Filename-16", "\uc608\uc220 \uc608\uc220", "jpg"},
        {"chromium/Filename-18", "\uc608\uc220 \uc608\uc220", "jpg"},
        {"chromium/Filename-19", "\u5ca1\u3000\u5ca1", "txt"},
        {"chromium/Filename-61", "bar", ""},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(vectors.contains(QString::fromLatin1(c.id))) << c.id;
        const SuggestedName n =
            从下载头信息ContentDisposition获取文件名(vectors.value(QString::fromLatin1(c.id)).header);
        EXPECT_EQ(n.name, QString::fromUtf8(c.name)) << c.id;
        EXPECT_EQ(n.extension, QString::fromUtf8(c.extension)) << c.id;
    }
    // raw 8-bit bytes still give the extension
    EXPECT_EQ(从下载头信息ContentDisposition获取文件名(
                  vectors.value(QStringLiteral("tc2231/attwithisofnplain")).header)
                  .extension,
              QStringLiteral("html"));

    for (auto it = vectors.cbegin(); it != vectors.cend(); ++it) {
        const SuggestedName n = 从下载头信息ContentDisposition获取文件名(it.value().header);
        EXPECT_LE(n.extension.size(), 5) << it.key().toStdString();
        EXPECT_TRUE(AllAsciiLetters(n.extension)) << it.key().toStdString();
        EXPECT_FALSE(n.name.contains(QLatin1Char('"')) || n.name.contains(QLatin1Char('\'')))
            << it.key().toStdString();
        EXPECT_EQ(n.name, n.name.trimmed()) << it.key().toStdString();
        // the header block form finds the same value (a raw line break
        // would end the line, so those values cannot stand in a block)
        if (it.value().header.contains(QLatin1Char('\n')) || it.value().header.contains(QLatin1Char('\r')))
            continue;
        EXPECT_EQ(从网络文件Header获取ContentDisposition(
                      QStringLiteral("HTTP/1.1 200 OK\r\nContent-Disposition: ") + it.value().header +
                      QStringLiteral("\r\n")),
                  it.value().header.trimmed())
            << it.key().toStdString();
    }
}

// Skip means skip: the headers name another type whose file exists.
TEST(SettleItemPath, MediaTypeGivesAnotherTypeWhoseFileIsSkipped) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    Touch(f + QStringLiteral("doc.pdf"));
    DownloadItem item = ItemIn(f, QStringLiteral("doc"), QStringLiteral("htm"));
    // the skip rule looked for doc.htm, which is not there
    ASSERT_TRUE(确定是需要下载(item, SameNameRule::Skip));
    const SettleResult r =
        SettleItemPath(item, QStringLiteral("application/pdf; charset=x"), {}, SameNameRule::Skip);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.skipped);
    EXPECT_EQ(item.type, QStringLiteral("pdf"));
    EXPECT_EQ(item.state, ItemState::Done);
    EXPECT_EQ(item.percent, ResultText::ExistsSkipped);
    EXPECT_EQ(r.path, f + QStringLiteral("doc.pdf"));

    // Under overwrite the same file is the target, replaced only by a finished download.
    DownloadItem other = ItemIn(f, QStringLiteral("doc"), QStringLiteral("htm"));
    const SettleResult o =
        SettleItemPath(other, QStringLiteral("application/pdf"), {}, SameNameRule::Overwrite);
    EXPECT_TRUE(o.ok);
    EXPECT_FALSE(o.skipped);
    EXPECT_EQ(o.path, f + QStringLiteral("doc.pdf"));
}

TEST(SettleItemPath, TypeFromDispositionThenCharsetElseUnchanged) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    const QString headers =
        QStringLiteral("HTTP/1.1 200 OK\r\nContent-Disposition: attachment; filename=\"x.PDF\"\r\n");
    DownloadItem item = ItemIn(f, QStringLiteral("a"), QStringLiteral("caj"));
    EXPECT_TRUE(
        SettleItemPath(item, QStringLiteral("application/octet-stream"), headers, SameNameRule::Rename).ok);
    EXPECT_EQ(item.type, QStringLiteral("pdf")); // the file really written is x.pdf

    item = ItemIn(f, QStringLiteral("a"), QStringLiteral("caj"));
    EXPECT_TRUE(SettleItemPath(item, QStringLiteral("application/octet-stream; Charset=gbk"), {},
                               SameNameRule::Rename)
                    .ok);
    EXPECT_EQ(item.type, QStringLiteral("htm"));

    item = ItemIn(f, QStringLiteral("a"), QStringLiteral("caj"));
    EXPECT_TRUE(
        SettleItemPath(item, QStringLiteral("application/octet-stream"), {}, SameNameRule::Rename).ok);
    EXPECT_EQ(item.type, QStringLiteral("caj"));
}

TEST(SettleItemPath, NameFolderAndRenameRule) {
    QTemporaryDir dir;
    const QString folder = Native(dir.path() + QStringLiteral("/new/sub"));
    DownloadItem item = ItemIn(folder, QStringLiteral("a:b?c"), QString());
    SettleResult r = SettleItemPath(item, QString(), {}, SameNameRule::Rename);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(item.name, QStringLiteral("abc"));
    EXPECT_EQ(item.folder, folder + QDir::separator());
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(r.path, folder + QDir::separator() + QStringLiteral("abc")); // no type: no dot

    Touch(r.path);
    r = SettleItemPath(item, QString(), {}, SameNameRule::Rename);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(item.name, QStringLiteral("abc[001]"));
    EXPECT_TRUE(
        QFile::exists(folder + QDir::separator() + QStringLiteral("abc"))); // renaming keeps the old file
}

// Names, types and folders from titles, headers or imported list files.
TEST(SettleItemPath, PathsNeverLeaveTheChosenFolder) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    EXPECT_EQ(CleanType(QStringLiteral("/../../x")), QStringLiteral("x"));
    EXPECT_EQ(CleanType(QStringLiteral("PDF\t\x01")), QStringLiteral("pdf"));
    EXPECT_EQ(CleanNamePart(QStringLiteral("..")), QString());
    EXPECT_EQ(CleanNamePart(QStringLiteral("a\u0085b\x1b/..\\c")), QStringLiteral("ab..c"));

    DownloadItem item = ItemIn(f, QStringLiteral("../../evil"), QStringLiteral("/../../x"));
    SettleResult r = SettleItemPathMethodTwo(item, SameNameRule::Overwrite);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.path, f + QStringLiteral("evil.x"));
    EXPECT_TRUE(PathInsideFolder(r.path, f));

    // Nothing of a name left: the path would be the folder itself.
    item = ItemIn(f, QStringLiteral(".."), QString());
    r = SettleItemPath(item, QStringLiteral("application/octet-stream"), {}, SameNameRule::Overwrite);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(item.state, ItemState::Failed);

    // A folder that cannot be made fails the item instead of writing to the root.
    Touch(f + QStringLiteral("plain"));
    item = ItemIn(f + QStringLiteral("plain/sub"), QStringLiteral("doc"), QStringLiteral("pdf"));
    Messages::Clear();
    r = SettleItemPathMethodTwo(item, SameNameRule::Rename);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(item.state, ItemState::Failed);

    EXPECT_FALSE(PathInsideFolder(f + QStringLiteral("a/b.pdf"), f));
    EXPECT_FALSE(PathInsideFolder(f + QStringLiteral("../b.pdf"), f));
}

// A name that a running transfer will write counts as taken.
TEST(SettleItemPath, ReservedPathsAreTakenLikeFiles) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    const QString held = f + QStringLiteral("r.pdf");
    const ReservedPath reserved = [&](const QString &path) { return path == held; };
    EXPECT_EQ(
        重命名保存路径(f, QStringLiteral("r"), QStringLiteral("pdf"), SameNameRule::Rename, reserved).path,
        f + QStringLiteral("r[001].pdf"));
    EXPECT_EQ(
        重命名保存路径(f, QStringLiteral("r"), QStringLiteral("pdf"), SameNameRule::Overwrite, reserved).path,
        f + QStringLiteral("r[001].pdf"));
    DownloadItem item = ItemIn(f, QStringLiteral("r"), QStringLiteral("htm"));
    const SettleResult r =
        SettleItemPath(item, QStringLiteral("application/pdf"), {}, SameNameRule::Skip, reserved);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.path, f + QStringLiteral("r[001].pdf"));
    EXPECT_EQ(item.name, QStringLiteral("r[001]"));

    // The type correction does not rename onto a held name either.
    Touch(f + QStringLiteral("page.pdf"), "<html><head><title>t</title></head><body>x</body></html>");
    DownloadItem page = ItemIn(f, QStringLiteral("page"), QStringLiteral("pdf"));
    const QString heldPage = f + QStringLiteral("page.htm");
    EXPECT_FALSE(CorrectItemType(page, [&](const QString &path) { return path == heldPage; }));
    EXPECT_TRUE(QFile::exists(f + QStringLiteral("page.pdf")));
    EXPECT_TRUE(CorrectItemType(page));
    EXPECT_EQ(page.type, QStringLiteral("htm"));
}

TEST(SettleItemPath, MethodTwoSkipsOrFindsAFreePath) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    Touch(f + QStringLiteral("r.pdf"), "ab");

    DownloadItem skipped = ItemIn(Native(dir.path()), QStringLiteral("r"), QStringLiteral("pdf"));
    SettleResult r = SettleItemPathMethodTwo(skipped, SameNameRule::Skip);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(skipped.state, ItemState::Done);
    EXPECT_EQ(skipped.percent, QStringLiteral("已存在，跳过"));
    EXPECT_EQ(skipped.folder, f);

    DownloadItem renamed = ItemIn(f, QStringLiteral("r"), QStringLiteral("pdf"));
    r = SettleItemPathMethodTwo(renamed, SameNameRule::Rename);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.path, f + QStringLiteral("r[001].pdf"));
    EXPECT_EQ(renamed.name, QStringLiteral("r[001]"));

    DownloadItem overwritten = ItemIn(f, QStringLiteral("r"), QStringLiteral("pdf"));
    r = SettleItemPathMethodTwo(overwritten, SameNameRule::Overwrite);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.path, f + QStringLiteral("r.pdf"));
    EXPECT_EQ(overwritten.name, QStringLiteral("r"));
}

// No program type becomes a saved file's extension from a header, a list or
// an address; only the file's own bytes may name one.
TEST(SettleItemPath, ProgramTypesAreNeverTakenFromHeadersOrLists) {
    QTemporaryDir dir;
    const QString f = Folder(dir);
    DownloadItem script = ItemIn(f, QStringLiteral("a"), QStringLiteral("pdf"));
    EXPECT_TRUE(
        SettleItemPath(script, QStringLiteral("application/x-javascript"), {}, SameNameRule::Rename).ok);
    EXPECT_EQ(script.type, QStringLiteral("pdf"));
    DownloadItem shell = ItemIn(f, QStringLiteral("b"), QStringLiteral("pdf"));
    const SettleResult r =
        SettleItemPath(shell, QStringLiteral("application/octet-stream"),
                       QStringLiteral("HTTP/1.1 200 OK\r\nContent-Disposition: attachment; "
                                      "filename=\"run.sh\"\r\n"),
                       SameNameRule::Rename);
    EXPECT_EQ(shell.type, QStringLiteral("pdf"));
    EXPECT_TRUE(r.path.endsWith(QLatin1String("b.pdf")));

    DownloadListModel model;
    model.加入下载列表(QStringLiteral("http://h/x"), QStringLiteral("x"), QStringLiteral("Desktop"), f, {});
    model.加入下载列表(QStringLiteral("http://h/y"), QStringLiteral("y"), QStringLiteral("pdf"), f, {});
    EXPECT_TRUE(model.Item(0).type.isEmpty());
    EXPECT_EQ(model.Item(1).type, QStringLiteral("pdf"));
    for (const char *t : {"desktop", "EXE", "sh", "bat", "lnk", "js", "ps1", "msi", "jar", "AppImage"})
        EXPECT_TRUE(IsLauncherType(QString::fromLatin1(t))) << t;
    EXPECT_FALSE(IsLauncherType(QStringLiteral("pdf")));
    EXPECT_TRUE(IsKnownDocumentType(QStringLiteral("PDF")));
    EXPECT_FALSE(IsKnownDocumentType(QStringLiteral("x/y")));
    EXPECT_FALSE(IsKnownDocumentType(QStringLiteral("desktop")));

    EXPECT_TRUE(IsFolderWithin(QStringLiteral("/a/b/c"), {QStringLiteral("/a/b/")}));
    EXPECT_TRUE(IsFolderWithin(QStringLiteral("/a/b"), {QStringLiteral("/a/b")}));
    EXPECT_FALSE(IsFolderWithin(QStringLiteral("/a/bc"), {QStringLiteral("/a/b")}));
    EXPECT_FALSE(IsFolderWithin(QStringLiteral("/a/b/../../etc"), {QStringLiteral("/a/b")}));
    EXPECT_FALSE(IsFolderWithin(QStringLiteral("relative/b"), {QStringLiteral("/a/b")}));
}
