// The kept download list across real restarts: one program writes it,
// another (started anew, or killed and started again) reads it, asks, and
// finishes every document from where the first one stopped.
#include "DownloadWindowKit.h"
#include "download/KeptList.h"
#include "util/FileHelpers.h"
#include "util/SqliteDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>

using namespace dh;
using namespace dh::test;

namespace {

constexpr qint64 kSize = 400000;
const QString kAsk = QStringLiteral("上次的下载列表还有%1项没有完成，是否恢复？");

QByteArray Body(int seed) {
    QByteArray body("%PDF-1.4\n");
    QRandomGenerator random{quint32(seed)};
    while (body.size() < kSize)
        body.append(char(random.generate() & 0xff));
    return body;
}

QString KeptFile() { return QDir(ProgramFolder()).filePath(QStringLiteral("downloads.sqlite")); }

// Rows of the kept list as another reader sees them.
qint64 KeptRows() {
    SqliteDb db;
    qint64 rows = -1;
    if (db.open(KeptFile(), SqliteDb::Open::Existing))
        db.queryInt64(QStringLiteral("SELECT count(*) FROM items"), rows);
    return rows;
}

// A child run of this test program: the same folders, one test, its output.
class Child {
public:
    Child(const char *test, const QMap<QString, QString> &env) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (auto it = env.cbegin(); it != env.cend(); ++it)
            e.insert(it.key(), it.value());
        m_process.setProcessEnvironment(e);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--gtest_filter=KeptListChild.DISABLED_") + QString::fromLatin1(test),
                         QStringLiteral("--gtest_also_run_disabled_tests")});
    }
    ~Child() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    // Waits until the child printed `marker` (a line of its own).
    bool WaitFor(const QString &marker, int ms = 60000) {
        QElapsedTimer timer;
        timer.start();
        while (!m_output.contains(marker.toUtf8()) && timer.elapsed() < ms &&
               m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(100);
            m_output += m_process.readAll();
        }
        m_output += m_process.readAll();
        return m_output.contains(marker.toUtf8());
    }
    void Kill() {
        m_process.kill(); // SIGKILL: nothing of the child runs any more
        m_process.waitForFinished(10000);
    }
    bool Finish(int ms = 60000) { return m_process.waitForFinished(ms) && m_process.exitCode() == 0; }
    QByteArray Output() { return m_output + m_process.readAll(); }

private:
    QProcess m_process;
    QByteArray m_output;
};

class Kept : public ::testing::Test, public DownloadWindowKit {
protected:
    void SetUp() override {
        Messages::Clear();
        ASSERT_TRUE(server.Start());
        folder = dir.path() + QStringLiteral("/in/");
        QDir().mkpath(folder);
    }
    void TearDown() override {
        Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QFile::remove(KeptFile());
    }
    void NewWindow(const QString &answer = {}) {
        if (!answer.isEmpty())
            Messages::QueueAnswer(answer);
        window = new DownloadWindow;
        window->SetMethod(2);
        Control<QComboBox>("Combo1")->setCurrentIndex(3);
        SetRule(2);
    }
    void CloseWindow() {
        Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(window.isNull());
    }
    QStringList Asked() const {
        QStringList texts;
        for (const ShownMessage &m : Messages::Shown())
            texts << m.text;
        return texts;
    }
    QString StatusText() const { return window->findChild<QLabel *>(QStringLiteral("StatusPanel2"))->text(); }
    void AddResumable(int i, int bytesPerSecond = 0) {
        DocumentOptions doc = DocumentOptions::Bytes(Body(i), "application/pdf");
        doc.etag = "\"e" + QByteArray::number(i) + '"';
        doc.ranges = Ranges::Honour;
        doc.bytesPerSecond = bytesPerSecond;
        server.AddDocument(QStringLiteral("/k%1.pdf").arg(i), doc);
    }
    QString DocUrl(int i) const { return server.DocumentUrl(QStringLiteral("/k%1.pdf").arg(i)); }
    QMap<QString, QString> ChildEnv() const {
        QStringList urls;
        for (int i = 0; i < 4; ++i)
            urls << DocUrl(i);
        return {{QStringLiteral("DH_KEPT_URLS"), urls.join(QLatin1Char(' '))},
                {QStringLiteral("DH_KEPT_FOLDER"), folder}};
    }
    QStringList PartialFiles() const {
        return QDir(folder).entryList({QStringLiteral(".docharvest-*")}, QDir::Files | QDir::Hidden | QDir::System);
    }
};

} // namespace

// --- the child programs ------------------------------------------------------

// Downloads four slow documents and says so once every one is under way and
// written to the kept list; then waits to be killed.
TEST(KeptListChild, DISABLED_DownloadUntilKilled) {
    const QStringList urls = qEnvironmentVariable("DH_KEPT_URLS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString folder = qEnvironmentVariable("DH_KEPT_FOLDER");
    if (urls.isEmpty())
        GTEST_SKIP() << "run by Kept.AKilledProgramComesBackAndFinishesEveryDocument";
    auto *window = new DownloadWindow;
    window->SetMethod(2);
    window->findChild<QComboBox *>(QStringLiteral("Combo1"))->setCurrentIndex(3);
    for (int i = 0; i < urls.size(); ++i)
        window->Model()->加入下载列表(urls[i], QStringLiteral("k%1").arg(i), QStringLiteral("pdf"), folder, {});
    window->StartDownloading();
    const auto underWay = [&] {
        for (int row = 0; row < window->Model()->Count(); ++row)
            if (window->Model()->Item(row).received.toLongLong() < 60000)
                return false;
        return true;
    };
    ASSERT_TRUE(WaitUntil(underWay, 30000));
    const int writes = window->Kept()->Writes();
    ASSERT_TRUE(WaitUntil([&] { return window->Kept()->Writes() > writes; }, 5000));
    std::printf("under way\n");
    std::fflush(stdout);
    SleepFor(600000);
}

// Hands items over in large batches and reports each batch once it is written.
TEST(KeptListChild, DISABLED_HandOverUntilKilled) {
    if (qEnvironmentVariable("DH_KEPT_FOLDER").isEmpty())
        GTEST_SKIP() << "run by Kept.AKillDuringABatchWriteKeepsEveryCommittedItem";
    auto *window = new DownloadWindow;
    DownloadListModel *model = window->Model();
    for (int batch = 0; batch < 1000; ++batch) {
        const int writes = window->Kept()->Writes();
        for (int i = 0; i < 20000; ++i)
            model->加入下载列表(QStringLiteral("http://h.example/%1/%2.pdf").arg(batch).arg(i), QStringLiteral("t"),
                                QStringLiteral("pdf"), qEnvironmentVariable("DH_KEPT_FOLDER"), {});
        if (!WaitUntil([&] { return window->Kept()->Writes() > writes; }, 10000))
            std::_Exit(3);
        std::printf("committed %d\n", model->Count());
        std::fflush(stdout);
    }
}

// Holds the kept list, as a first running copy of the program does.
TEST(KeptListChild, DISABLED_HoldTheList) {
    if (qEnvironmentVariable("DH_KEPT_FOLDER").isEmpty())
        GTEST_SKIP() << "run by Kept.ASecondCopyKeepsItsListInMemory";
    auto *window = new DownloadWindow;
    window->Model()->加入下载列表(QStringLiteral("http://h.example/first.pdf"), QStringLiteral("first"),
                                  QStringLiteral("pdf"), qEnvironmentVariable("DH_KEPT_FOLDER"), {});
    window->Kept()->Flush();
    std::printf("holding\n");
    std::fflush(stdout);
    SleepFor(600000);
}

// --- the tests -----------------------------------------------------------------

TEST_F(Kept, AKilledProgramComesBackAndFinishesEveryDocument) {
    for (int i = 0; i < 4; ++i)
        AddResumable(i, 100000);
    {
        Child child("DownloadUntilKilled", ChildEnv());
        ASSERT_TRUE(child.WaitFor(QStringLiteral("under way"))) << child.Output().toStdString();
        child.Kill();
    }
    ASSERT_EQ(PartialFiles().size(), 4) << "what the killed program received waits beside the targets";
    for (int i = 0; i < 4; ++i) {
        DocumentOptions fast = DocumentOptions::Bytes(Body(i), "application/pdf");
        fast.etag = "\"e" + QByteArray::number(i) + '"';
        fast.ranges = Ranges::Honour;
        server.AddDocument(QStringLiteral("/k%1.pdf").arg(i), fast);
    }
    server.ClearRequests();

    NewWindow(QStringLiteral("yes"));
    EXPECT_EQ(Asked(), QStringList{kAsk.arg(4)});
    ASSERT_EQ(window->Model()->Count(), 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(Item(row).state, ItemState::Waiting) << "a transfer that was running waits again";
        EXPECT_TRUE(HasOwnPartial(Item(row)));
    }
    EXPECT_FALSE(window->SchedulerOn()) << "nothing starts before the user says so";
    ASSERT_TRUE(RunAll());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Item(i).state, ItemState::Done);
        EXPECT_EQ(Item(i).result, QStringLiteral("已续传"));
        EXPECT_EQ(Read(QStringLiteral("k%1.pdf").arg(i)), Body(i)) << i;
    }
    // Every document asked for its rest only.
    for (const LoggedRequest &r : server.Requests())
        EXPECT_FALSE(r.Header("Range").isEmpty()) << r.target.toStdString();
    EXPECT_TRUE(PartialFiles().isEmpty());
}

TEST_F(Kept, AKillDuringABatchWriteKeepsEveryCommittedItem) {
    int committed = 0;
    {
        Child child("HandOverUntilKilled", ChildEnv());
        ASSERT_TRUE(child.WaitFor(QStringLiteral("committed 60000"))) << child.Output().toStdString();
        // Into the next batch's work, its write perhaps under way.
        SleepFor(150);
        child.Kill();
        const QRegularExpression marker(QStringLiteral("committed (\\d+)"));
        auto it = marker.globalMatch(QString::fromUtf8(child.Output()));
        while (it.hasNext())
            committed = it.next().captured(1).toInt();
    }
    ASSERT_GE(committed, 60000);
    KeptList kept(ProgramFolder());
    ASSERT_EQ(kept.Open(), KeptList::Status::Ready);
    const std::vector<DownloadItem> items = kept.Load();
    ASSERT_GE(int(items.size()), committed);
    EXPECT_EQ(int(items.size()) % 20000, 0) << "a batch is written whole or not at all";
    for (int i = 0; i < committed; i += 997)
        EXPECT_EQ(items[size_t(i)].key, QStringLiteral("http://h.example/%1/%2.pdf").arg(i / 20000).arg(i % 20000));
}

TEST_F(Kept, RestoreOrDiscardAndWhatGoesWithIt) {
    AddResumable(0);
    // Each call a document of its own whose first answer breaks off.
    int drops = 0;
    const auto dropping = [&] {
        DocumentOptions doc = DocumentOptions::Bytes(Body(1), "application/pdf");
        doc.etag = "\"e1\"";
        doc.ranges = Ranges::Honour;
        doc.dropAfter = kSize / 2;
        const QString path = QStringLiteral("/drop%1.pdf").arg(++drops);
        server.AddDocument(path, doc);
        return server.DocumentUrl(path);
    };

    // One done, one broken off with its partial file, one waiting.
    NewWindow();
    EXPECT_TRUE(Asked().isEmpty()) << "nothing was kept";
    Add(DocUrl(0), QStringLiteral("k0"), QStringLiteral("pdf"));
    Add(dropping(), QStringLiteral("k1"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    Add(DocUrl(2), QStringLiteral("k2"), QStringLiteral("pdf"));
    ASSERT_EQ(Item(1).state, ItemState::Failed);
    ASSERT_EQ(PartialFiles().size(), 1);
    CloseWindow(); // asks, answered yes by the kit
    EXPECT_EQ(KeptRows(), 3);

    // 否: the list and its partial files go; the next window does not ask.
    Messages::Clear();
    NewWindow(QStringLiteral("no"));
    EXPECT_EQ(Asked(), QStringList{kAsk.arg(2)});
    EXPECT_EQ(window->Model()->Count(), 0);
    EXPECT_TRUE(PartialFiles().isEmpty());
    CloseWindow();
    Messages::Clear();
    NewWindow();
    EXPECT_TRUE(Asked().isEmpty());
    EXPECT_EQ(KeptRows(), 0);

    // 是 brings rows and texts back as they were; a list of done items is let go unasked.
    Add(DocUrl(0), QStringLiteral("k0"), QStringLiteral("pdf"));
    Add(dropping(), QStringLiteral("k1"), QStringLiteral("pdf"));
    ASSERT_TRUE(RunAll());
    const DownloadItem done = Item(0), failed = Item(1);
    CloseWindow();
    Messages::Clear();
    NewWindow(QStringLiteral("yes"));
    ASSERT_EQ(window->Model()->Count(), 2);
    for (const auto &[row, was] : {std::pair{0, done}, std::pair{1, failed}}) {
        const DownloadItem &now = Item(row);
        EXPECT_EQ(now.state, was.state);
        EXPECT_EQ(now.size, was.size);
        EXPECT_EQ(now.received, was.received);
        EXPECT_EQ(now.percent, was.percent);
        EXPECT_EQ(now.result, was.result);
        EXPECT_EQ(now.name, was.name);
        EXPECT_EQ(now.uid, was.uid);
    }
    window->Model()->RemoveRowsIf([](int row, const DownloadItem &) { return row == 1; });
    EXPECT_TRUE(PartialFiles().isEmpty()) << "a removed item takes its partial file along";
    window->Kept()->Flush();
    EXPECT_EQ(KeptRows(), 1);
    CloseWindow();
    Messages::Clear();
    NewWindow();
    EXPECT_TRUE(Asked().isEmpty()) << "only a done item was kept";
    EXPECT_EQ(window->Model()->Count(), 0);
    EXPECT_EQ(KeptRows(), 0);
}

TEST_F(Kept, ASecondCopyKeepsItsListInMemory) {
    Child first("HoldTheList", ChildEnv());
    ASSERT_TRUE(first.WaitFor(QStringLiteral("holding"))) << first.Output().toStdString();
    NewWindow();
    EXPECT_EQ(StatusText(), QStringLiteral("下载列表由另一个运行中的程序保存"));
    EXPECT_TRUE(Asked().isEmpty());
    Add(DocUrl(0), QStringLiteral("mine"), QStringLiteral("pdf"));
    window->Kept()->Flush();
    EXPECT_EQ(KeptRows(), 1) << "the first copy's list is untouched";
    first.Kill();
    CloseWindow();
    Messages::Clear();
    // Once the first copy is gone its lock is stale and the list is there to be had.
    NewWindow(QStringLiteral("yes"));
    EXPECT_EQ(Asked(), QStringList{kAsk.arg(1)});
    ASSERT_EQ(window->Model()->Count(), 1);
    EXPECT_EQ(Item(0).name, QStringLiteral("first"));
}

TEST_F(Kept, AnUnreadableListIsSetAsideNeverDeleted) {
    const QByteArray garbage = QByteArray("not a database at all ") + QByteArray(5000, 'x');
    QDir().mkpath(ProgramFolder());
    {
        QFile file(KeptFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    NewWindow();
    EXPECT_TRUE(StatusText().startsWith(QStringLiteral("保存的下载列表无法读取，已改名保留为：")));
    EXPECT_EQ(window->Model()->Count(), 0);
    const QString aside = window->Kept()->SetAsidePath();
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), garbage);
    Add(DocUrl(0), QStringLiteral("new"), QStringLiteral("pdf"));
    window->Kept()->Flush();
    EXPECT_EQ(KeptRows(), 1) << "a new list is kept in its place";
    CloseWindow();

    // A list of a newer version of the program, and a file of another program.
    for (const QString &sql : {QStringLiteral("PRAGMA application_id = 1145588556; PRAGMA user_version = 99;"
                                              "CREATE TABLE items(x)"),
                               QStringLiteral("CREATE TABLE other(a, b)")}) {
        QFile::remove(KeptFile());
        SqliteDb db;
        ASSERT_TRUE(db.open(KeptFile(), SqliteDb::Open::CreateIfMissing));
        ASSERT_TRUE(db.exec(sql));
        db.close();
        Messages::Clear();
        NewWindow();
        EXPECT_EQ(window->Kept()->State(), KeptList::Status::SetAside) << sql.toStdString();
        EXPECT_TRUE(QFileInfo::exists(window->Kept()->SetAsidePath()));
        EXPECT_TRUE(Asked().isEmpty());
        CloseWindow();
    }
}
