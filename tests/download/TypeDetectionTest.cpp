#include "download/TypeDetection.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace
{

QString Fixture(const char *name)
{
    return QString::fromUtf8(DH_FIXTURES_DIR) + QStringLiteral("/files/") + QString::fromUtf8(name);
}

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return QDir::toNativeSeparators(path);
}

QByteArray PageOfSize(qsizetype size, qsizetype leadingSpaces = 0)
{
    QByteArray page(leadingSpaces, ' ');
    page += "<html><head><title>t</title></head><body>";
    page += QByteArray(size - page.size() - 14, 'x');
    page += "</body></html>";
    return page;
}

DownloadItem ItemIn(const QTemporaryDir &dir, const QString &name, const QString &type)
{
    DownloadItem item;
    item.folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    item.name = name;
    item.type = type;
    return item;
}

void CopyFixture(const char *fixture, const QString &target)
{
    ASSERT_TRUE(QFile::copy(Fixture(fixture), target)) << fixture;
}

} // namespace

TEST(TypeDetection, RealFilesGiveTheirTags)
{
    const struct {
        const char *file;
        const char *tag;
    } cases[] = {
        {"textract-standardized_text.pdf", "pdf"},
        {"msoffcrypto-plain.doc", "doc"},
        {"unstructured-simple.doc", ""}, // FAT sector at 512
        {"msoffcrypto-plain.xls", "xls"},
        {"unstructured-tests-example.xls", ""},
        {"poi-bug58516.ppt", "ppt"},
        {"poi-basic_test_ppt_file.ppt", ""},
        {"unstructured-fake-doc.rtf", "rtf"},
        {"textract-standardized_text.docx", "docx"},
        {"unstructured-fake.docx", "zip"},     // re-packed: flags 00 00
        {"unstructured-docx-shapes.docx", ""}, // flags 08 08
        {"textract-standardized_text.xlsx", "docx"},
        {"textract-standardized_text.pptx", "docx"},
        {"unstructured-simple.zip", "zip"},
        {"textract-raw_text.png", "png"},
        {"textract-standardized_text.gif", "gif"},
        {"textract-standardized_text-jfif.jpg", "jpg"},
        {"goexif-kodak-z710-exif-mm.jpg", "jpg"},
        {"goexif-samsung-exif-ii.jpg", ""}, // Intel byte order
        {"mutagen-vbri-id3v23.mp3", "mp3"},
        {"mutagen-silence-44-s-v1-id3v1-only.mp3", "mp3"}, // trailer only
        {"mutagen-id3v1v2-combined-id3v24.mp3", "mp3"},    // ID3v2.4: the trailer saves it
        {"mutagen-id3v22-test.mp3", ""},
        {"mutagen-no-tags.mp3", ""},
        {"object-testfiles-import.exe", "exe"},
        {"rarfile-rar3-comment-plain.rar", "rar"},
        {"rarfile-rar5-times2.rar", "rar"},
        {"goexif-sample1.tif", "tif"},
    };
    int checked = 0;
    for (const auto &c : cases) {
        ASSERT_TRUE(QFile::exists(Fixture(c.file))) << c.file;
        EXPECT_EQ(打开文件判断文件类型(Fixture(c.file)), QString::fromLatin1(c.tag)) << c.file;
        ++checked;
    }
    EXPECT_EQ(checked, 28);
}

TEST(TypeDetection, ShortFilesStopAtTheHeadBuffer)
{
    QTemporaryDir dir;
    // Three bytes: the fourth byte of the buffer reads as 0, so "CAJ\0" matches.
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("caj3"), QByteArray::fromHex("43414A"))),
              QStringLiteral("kdh"));
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("two"), QByteArray("%P"))), QString());
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("empty"), QByteArray())), QString());
    // The Exif test needs offset 15 before the JFIF test is reached.
    EXPECT_EQ(打开文件判断文件类型(
                  Write(dir, QStringLiteral("jfif10"), QByteArray::fromHex("FFD8FFE000104A464946"))),
              QString());
    QByteArray jfif = QByteArray::fromHex("FFD8FFE000104A464946") + QByteArray(6, '\0');
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("jfif16"), jfif)), QStringLiteral("jpg"));
    // A compound document too short for its program test gives nothing.
    const QByteArray compound = QByteArray::fromHex("D0CF11E0A1B11AE1");
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("cfb-short"), compound + QByteArray(400, '\0'))),
              QString());
    QByteArray ppt = compound + QByteArray(600, '\0');
    ppt[515] = char(0xF0);
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("cfb-ppt"), ppt)), QStringLiteral("ppt"));
    EXPECT_EQ(打开文件判断文件类型(dir.filePath(QStringLiteral("missing"))), QString());
    EXPECT_EQ(打开文件判断文件类型(dir.path()), QString()); // a folder is no file
}

TEST(TypeDetection, GifAcceptsBothSignatures)
{
    QTemporaryDir dir;
    const QByteArray rest(32, '\x01');
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("a"), "GIF87a" + rest)), QStringLiteral("gif"));
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("b"), "GIF89a" + rest)), QStringLiteral("gif"));
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("c"), "GIF90a" + rest)), QString());
}

TEST(TypeDetection, TrailerTagGivesMp3)
{
    QTemporaryDir dir;
    QByteArray body(1000, '\x11');
    body.replace(body.size() - 128, 3, "TAG");
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("t.bin"), body)), QStringLiteral("mp3"));
    // "TAG" elsewhere than at the start of the last 128 bytes does not count
    QByteArray other(1000, '\x11');
    other.replace(other.size() - 127, 3, "TAG");
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("u.bin"), other)), QString());
}

TEST(TypeDetection, WebPageMarkersInTheHeadOfSmallFiles)
{
    QTemporaryDir dir;
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("p150"), PageOfSize(150 * 1024))),
              QStringLiteral("htm"));
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("p250"), PageOfSize(250 * 1024))), QString());
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("late"), PageOfSize(150 * 1024, 10240))),
              QString());
    // the limit is strict: 204799 bytes is a page, 204800 is not
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("p-1"), PageOfSize(204799))),
              QStringLiteral("htm"));
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("p0"), PageOfSize(204800))), QString());
    // an html tag alone is not enough, and the match ignores case
    EXPECT_EQ(打开文件判断文件类型(
                  Write(dir, QStringLiteral("bare"), QByteArray("<html lang=x>") + QByteArray(40, ' '))),
              QString());
    EXPECT_EQ(打开文件判断文件类型(
                  Write(dir, QStringLiteral("upper"), QByteArray("<HTML ><BODY>") + QByteArray(40, ' '))),
              QStringLiteral("htm"));
}

TEST(TypeDetection, TicketFileNeedsAllTenMarkers)
{
    QTemporaryDir dir;
    QByteArray ticket =
        "[target]\r\na1=x\r\na2=x\r\nb1=x\r\nb2=x\r\nc1=x\r\nc2=x\r\nd1=x\r\nd2=x\r\ndoctype=x\r\n";
    ticket += QByteArray(2048 - ticket.size(), ' ');
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("ticket"), ticket)), QStringLiteral("caa"));
    QByteArray noTarget = ticket;
    noTarget.replace("[target]", "[xarget]");
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("no-target"), noTarget)), QString());
    QByteArray big = ticket + QByteArray(2048, ' '); // 4 KB: too big for the ticket test
    EXPECT_EQ(打开文件判断文件类型(Write(dir, QStringLiteral("big"), big)), QString());
}

TEST(TypeDetection, ExtensionFromContentType)
{
    const struct {
        const char *mediaType;
        const char *extension;
    } cases[] = {
        {"application/pdf", "pdf"},
        {"TEXT/Plain", "txt"},
        {"application/octet-stream", ""},
        {"image/tiff", "tif"},
        {"audio/x-mpegurl", "mpeg"},
        {"foo/bar", "bar"},
        {"text", "text"},
        {"application", ""}, // eleven letters
        {"", ""},
        {"application/x-foo", "x"},
        {"text/javascript", ""},
        {"video/mpeg4", "mp4"}, // digits after the first letter pass
        {"image/g3fax", "g3fax"},
        {"application/vnd.ms-excel", "xls"},
        {"application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
        {" Application / Vnd.MS-PowerPoint ", "ppt"},
        {"application/vnd.ms-works", "wps"},
        {"application/x-msdownload", "dll"},
        {"application/x-unknownthing", "x"},
        {"application/*", ""},
        {"image/*", ""},
        {"image/x-icon", "ico"},
        {"text/html", "html"},
        {"message/rfc822", "mht"},
        {"video/quicktime", "mov"},
        {"audio/midi", "mid"},
        {"a/b/c", "a"},
        {"x/", ""},
        {"video/3gpp", ""}, // must begin with a letter
    };
    for (const auto &c : cases)
        EXPECT_EQ(ExtensionFromContentType(QString::fromLatin1(c.mediaType)),
                  QString::fromLatin1(c.extension))
            << c.mediaType;
}

TEST(CorrectItemType, RenamesToTheDetectedTypeAtAFreeName)
{
    QTemporaryDir dir;
    DownloadItem item = ItemIn(dir, QStringLiteral("paper"), QStringLiteral("htm"));
    CopyFixture("textract-standardized_text.pdf", ItemFilePath(item));
    item.size = QStringLiteral("15107");
    item.state = ItemState::Done;
    EXPECT_TRUE(CorrectItemType(item));
    EXPECT_EQ(item.type, QStringLiteral("pdf"));
    EXPECT_EQ(item.name, QStringLiteral("paper"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("paper.pdf"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("paper.htm"))));
    EXPECT_EQ(item.size, QStringLiteral("15107"));
    EXPECT_EQ(item.state, ItemState::Done);

    // paper.pdf is taken now: the next one gets a counter, shown in the name
    DownloadItem second = ItemIn(dir, QStringLiteral("paper"), QStringLiteral("htm"));
    CopyFixture("textract-standardized_text.pdf", ItemFilePath(second));
    EXPECT_TRUE(CorrectItemType(second));
    EXPECT_EQ(second.name, QStringLiteral("paper[0001]"));
    EXPECT_EQ(second.type, QStringLiteral("pdf"));
    EXPECT_TRUE(QFile::exists(ItemFilePath(second)));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("paper.pdf"))));
}

TEST(CorrectItemType, LeavesMatchingUnknownAndMissingFilesAlone)
{
    QTemporaryDir dir;
    DownloadItem upper = ItemIn(dir, QStringLiteral("a"), QStringLiteral("PDF"));
    CopyFixture("textract-standardized_text.pdf", ItemFilePath(upper));
    EXPECT_FALSE(CorrectItemType(upper));
    EXPECT_EQ(upper.type, QStringLiteral("PDF"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a.PDF"))));

    DownloadItem unknown = ItemIn(dir, QStringLiteral("b"), QStringLiteral("mp3"));
    CopyFixture("mutagen-no-tags.mp3", ItemFilePath(unknown));
    EXPECT_FALSE(CorrectItemType(unknown));
    EXPECT_EQ(unknown.type, QStringLiteral("mp3"));

    DownloadItem missing = ItemIn(dir, QStringLiteral("c"), QStringLiteral("htm"));
    EXPECT_FALSE(CorrectItemType(missing));
    EXPECT_EQ(missing.type, QStringLiteral("htm"));

    // no type: the file has no extension yet and gets one
    DownloadItem bare = ItemIn(dir, QStringLiteral("d"), QString());
    CopyFixture("textract-raw_text.png", ItemFilePath(bare));
    EXPECT_TRUE(CorrectItemType(bare));
    EXPECT_EQ(ItemFilePath(bare), QDir::toNativeSeparators(dir.filePath(QStringLiteral("d.png"))));
}

TEST(CorrectItemType, DoesNotRenameWithinTheZipFamily)
{
    QTemporaryDir dir;
    const struct {
        const char *fixture;
        const char *type;
    } kept[] = {
        {"textract-standardized_text.xlsx", "xlsx"},                                     // detected as docx
        {"textract-standardized_text.pptx", "pptx"},                                     // detected as docx
        {"textract-standardized_text.pptx", "ppsx"}, {"unstructured-fake.docx", "docx"}, // detected as zip
        {"textract-standardized_text.docx", "zip"},                                      // detected as docx
        {"unstructured-simple.zip", "XLSX"},
    };
    int n = 0;
    for (const auto &c : kept) {
        DownloadItem item = ItemIn(dir, QStringLiteral("k%1").arg(n++), QString::fromLatin1(c.type));
        CopyFixture(c.fixture, ItemFilePath(item));
        EXPECT_FALSE(CorrectItemType(item)) << c.fixture << " as " << c.type;
        EXPECT_EQ(item.type, QString::fromLatin1(c.type));
        EXPECT_TRUE(QFile::exists(ItemFilePath(item)));
    }

    // A zip-based file saved under another type is still corrected.
    DownloadItem pdf = ItemIn(dir, QStringLiteral("z"), QStringLiteral("pdf"));
    CopyFixture("unstructured-simple.zip", ItemFilePath(pdf));
    EXPECT_TRUE(CorrectItemType(pdf));
    EXPECT_EQ(pdf.type, QStringLiteral("zip"));
    DownloadItem page = ItemIn(dir, QStringLiteral("w"), QStringLiteral("htm"));
    CopyFixture("textract-standardized_text.docx", ItemFilePath(page));
    EXPECT_TRUE(CorrectItemType(page));
    EXPECT_EQ(page.type, QStringLiteral("docx"));
}
