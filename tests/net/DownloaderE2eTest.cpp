// The asynchronous download component against the local server.
#include "net/Downloader.h"
#include "support/QtPrinters.h"
#include "support/TestServer.h"
#include "util/Clock.h"
#include "util/Wait.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;
using namespace dh::test;

namespace {

// Every event of one instance, in order.
struct Recorder {
    explicit Recorder(Downloader &d) {
        QObject::connect(&d, &Downloader::DownloadProgress, &d, [this](qint64 r, qint64 t, const QString &p) {
            events << QStringLiteral("progress %1/%2").arg(r).arg(t);
            path = p;
        });
        QObject::connect(&d, &Downloader::DownloadComplete, &d, [this](qint64 r, qint64 t, const QString &p) {
            events << QStringLiteral("complete %1/%2").arg(r).arg(t);
            path = p;
            ended = true;
        });
        QObject::connect(&d, &Downloader::DownloadError, &d, [this](const QString &m, const QString &p) {
            events << QStringLiteral("error ") + m;
            path = p;
            ended = true;
        });
        QObject::connect(&d, &Downloader::DownloadTooLarge, &d, [this](qint64 r, qint64 t, const QString &) {
            events << QStringLiteral("too large %1/%2").arg(r).arg(t);
            ended = true;
        });
    }
    QString Last() const { return events.isEmpty() ? QString() : events.last(); }
    QStringList events;
    QString path;
    bool ended = false;
};

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    void TearDown() override { Clock::SetSpeed(1); }
    QString Target(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QByteArray Read(const QString &name) const {
        QFile f(Target(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void Write(const QString &name, const QByteArray &bytes) const {
        QFile f(Target(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList Entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    TestServer server;
    QTemporaryDir dir;
};

} // namespace

TEST_F(DownloaderTest, KnownLengthReportsProgressThenReplacesTheFile) {
    DocumentOptions doc = DocumentOptions::Bytes(QByteArray(300000, 'k'), "application/pdf");
    doc.bytesPerSecond = 600000;
    server.AddDocument(QStringLiteral("/k.pdf"), doc);
    Write(QStringLiteral("k.pdf"), "older content");
    const auto kept = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                      QFileDevice::WriteUser | QFileDevice::ReadGroup;
    QFile::setPermissions(Target(QStringLiteral("k.pdf")), kept);
    Downloader d;
    Recorder r(d);
    d.BeginDownload(server.DocumentUrl(QStringLiteral("/k.pdf")), Target(QStringLiteral("k.pdf")),
                    QStringLiteral("http://ignored.example/"));
    EXPECT_EQ(Read(QStringLiteral("k.pdf")), QByteArray("older content")) << "no placeholder at the target";
    ASSERT_TRUE(WaitUntil([&] { return r.ended; }, 10000));
    ASSERT_GE(r.events.size(), 2);
    EXPECT_TRUE(r.events.first().startsWith(QLatin1String("progress "))) << r.events.first().toStdString();
    EXPECT_TRUE(r.events.first().endsWith(QLatin1String("/300000")));
    EXPECT_EQ(r.Last(), QStringLiteral("complete 300000/300000"));
    EXPECT_EQ(r.path, Target(QStringLiteral("k.pdf")));
    EXPECT_EQ(Read(QStringLiteral("k.pdf")), doc.body);
    EXPECT_EQ(QFile::permissions(Target(QStringLiteral("k.pdf"))), kept) << "those of the file it replaced";
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("k.pdf")});
    EXPECT_TRUE(server.Requests().last().referer.isEmpty()) << "the referrer is not sent";
}

TEST_F(DownloaderTest, NoLengthAmpersandsAndTheWholeBodyFallback) {
    DocumentOptions doc = DocumentOptions::Bytes("%PDF-1.4 no length", "application/pdf");
    doc.framing = Framing::CloseWithoutLength;
    server.AddDocument(QStringLiteral("/n.pdf"), doc);
    Downloader d;
    Recorder r(d);
    d.BeginDownload(QStringLiteral("  ") + server.DocumentUrl(QStringLiteral("/n.pdf")) +
                        QStringLiteral("?a=1&AMP;b=2 "),
                    Target(QStringLiteral("n.pdf")), {});
    ASSERT_TRUE(WaitUntil([&] { return r.ended; }, 10000));
    EXPECT_EQ(r.events, QStringList{QStringLiteral("complete 18/18")}) << "no progress without a total";
    EXPECT_EQ(server.Requests().last().target, QStringLiteral("/n.pdf?a=1&b=2"));
    EXPECT_TRUE(QFile::permissions(Target(QStringLiteral("n.pdf"))) & QFileDevice::ReadOther);

    // An empty body: the whole-body fetch is tried once more, then "无法下载".
    server.AddDocument(QStringLiteral("/e.pdf"), DocumentOptions::Bytes({}, "application/pdf"));
    server.ClearRequests();
    Write(QStringLiteral("e.pdf"), "GOOD");
    Recorder e(d);
    d.BeginDownload(server.DocumentUrl(QStringLiteral("/e.pdf")), Target(QStringLiteral("e.pdf")), {});
    ASSERT_TRUE(WaitUntil([&] { return e.ended; }, 10000));
    EXPECT_EQ(e.Last(), QStringLiteral("error 无法下载"));
    EXPECT_EQ(server.Requests().size(), 2);
    EXPECT_EQ(Read(QStringLiteral("e.pdf")), QByteArray("GOOD"));
}

TEST_F(DownloaderTest, StallLimitAndCancelLeaveNothingBehind) {
    DocumentOptions stalled;
    stalled.size = 50000;
    stalled.stallAfter = 2000;
    server.AddDocument(QStringLiteral("/s.pdf"), stalled);
    Clock::SetSpeed(300); // five minutes in one second
    Downloader d;
    Recorder r(d);
    d.BeginDownload(server.DocumentUrl(QStringLiteral("/s.pdf")), Target(QStringLiteral("s.pdf")), {});
    ASSERT_TRUE(WaitUntil([&] { return r.ended; }, 10000 * 300));
    Clock::SetSpeed(1);
    EXPECT_EQ(r.Last(), QStringLiteral("error 超时"));
    EXPECT_EQ(Entries(), QStringList()) << "neither placeholder nor partial file";

    DocumentOptions endless = DocumentOptions::Bytes(QByteArray(65536, 'x'), "application/pdf");
    endless.endless = true;
    endless.framing = Framing::CloseWithoutLength;
    server.AddDocument(QStringLiteral("/x.pdf"), endless);
    Downloader limited;
    limited.SetSizeLimit(1024 * 1024);
    Recorder l(limited);
    limited.BeginDownload(server.DocumentUrl(QStringLiteral("/x.pdf")), Target(QStringLiteral("x.pdf")), {});
    ASSERT_TRUE(WaitUntil([&] { return l.ended; }, 10000));
    EXPECT_TRUE(l.Last().startsWith(QLatin1String("too large "))) << l.Last().toStdString();
    EXPECT_EQ(Entries(), QStringList());

    Downloader cancelled;
    Recorder c(cancelled);
    cancelled.BeginDownload(server.DocumentUrl(QStringLiteral("/x.pdf")), Target(QStringLiteral("c.pdf")),
                            {});
    SleepFor(200);
    EXPECT_FALSE(cancelled.CancelAsyncRead());
    SleepFor(300);
    EXPECT_TRUE(c.events.isEmpty());
    EXPECT_EQ(Entries(), QStringList());
}
