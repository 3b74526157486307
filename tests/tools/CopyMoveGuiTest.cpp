// The copy window as a user drives it: loading its settings, runs under the
// same-name rules, stopping, the folder history and the failures.
#include "support/QtPrinters.h"
#include "tools/CopyMoveWindow.h"
#include "tools/FolderHistory.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace dh;

namespace {

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class CopyMove : public ::testing::Test {
protected:
    void SetUp() override {
        static QTemporaryDir stores;
        static int n = 0;
        Settings::UseFile(stores.filePath(QStringLiteral("copy-%1.ini").arg(++n)));
        QFile::remove(FolderHistoryPath());
        Messages::Clear();
        m_dest = m_temp.filePath(QStringLiteral("dest"));
        m_src = m_temp.filePath(QStringLiteral("src"));
    }
    void TearDown() override {
        QFile::remove(FolderHistoryPath());
        Messages::Clear();
    }

    std::unique_ptr<CopyMoveWindow> open(const QStringList &sources, int rule = 0) {
        auto w = std::make_unique<CopyMoveWindow>();
        for (const QString &s : sources)
            w->AddSource(s);
        w->findChild<QComboBox *>(QStringLiteral("Combo1"))->setEditText(m_dest);
        if (rule)
            option(w.get(), rule)->click();
        return w;
    }
    static QRadioButton *option(CopyMoveWindow *w, int index) {
        for (QRadioButton *b : w->findChildren<QRadioButton *>(QStringLiteral("Option1")))
            if (b->property("index").toInt() == index)
                return b;
        return nullptr;
    }
    static QPushButton *start(CopyMoveWindow *w) {
        return w->findChild<QPushButton *>(QStringLiteral("Command1"));
    }
    QString src(const QString &name, const QByteArray &bytes) {
        const QString path = QDir(m_src).filePath(name);
        writeFile(path, bytes);
        return path;
    }
    QString dest(const QString &name) const { return QDir(m_dest).filePath(name); }

    QTemporaryDir m_temp;
    QString m_dest;
    QString m_src;
};

} // namespace

TEST_F(CopyMove, LoadsItsDefaultsAndRemembersFolderAndRule) {
    {
        CopyMoveWindow w;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("复制文件..."));
        EXPECT_TRUE(option(&w, 4)->isChecked());
        EXPECT_EQ(w.RuleIndex(), 4);
        EXPECT_EQ(w.findChild<QComboBox *>(QStringLiteral("Combo1"))->currentText(), ProgramFolder());
        EXPECT_EQ(start(&w)->text(), QStringLiteral("开始"));
    }
    // With every source gone, a run still saves the folder, the rule and the history, silently.
    auto w = open({m_temp.filePath(QStringLiteral("vanished.pdf"))}, 2);
    start(w.get())->click();
    EXPECT_FALSE(Messages::Last());
    EXPECT_TRUE(w->Sources().isEmpty());
    EXPECT_EQ(Settings::Read(Keys::CopyDestination), WithTrailingSeparator(m_dest));
    EXPECT_EQ(Settings::Read(Keys::CopyRule), QStringLiteral("2"));
    EXPECT_TRUE(QFileInfo(m_dest).isDir());
    EXPECT_EQ(ReadFolderHistory().value(), QStringList{WithTrailingSeparator(m_dest)});

    CopyMoveWindow again;
    EXPECT_TRUE(option(&again, 2)->isChecked());
    EXPECT_EQ(again.findChild<QComboBox *>(QStringLiteral("Combo1"))->currentText(),
              WithTrailingSeparator(m_dest));

    // The same folder typed in other letter case is not added twice.
    again.findChild<QComboBox *>(QStringLiteral("Combo1"))
        ->setEditText(WithTrailingSeparator(m_dest).toUpper());
    QDir().mkpath(m_dest.toUpper());
    start(&again)->click();
    EXPECT_EQ(ReadFolderHistory().value().size(), 1);
}

TEST_F(CopyMove, RulesDecideWhatHappensToAnExistingName) {
    const QString report = src(QStringLiteral("report.pdf"), "new report");
    const QString same = src(QStringLiteral("same.pdf"), "12345");
    writeFile(dest(QStringLiteral("report.pdf")), "old");
    writeFile(dest(QStringLiteral("same.pdf")), "abcde"); // same size, another time
    {
        QFile other(dest(QStringLiteral("same.pdf")));
        ASSERT_TRUE(other.open(QIODevice::ReadWrite));
        other.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);
    }

    auto skip = open({report}, 1);
    start(skip.get())->click();
    EXPECT_EQ(readAll(dest(QStringLiteral("report.pdf"))), QByteArray("old"));
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("复制文件完成！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Information);

    auto rename = open({report, report}, 3);
    start(rename.get())->click();
    EXPECT_EQ(readAll(dest(QStringLiteral("report[001].pdf"))), QByteArray("new report"));
    EXPECT_EQ(readAll(dest(QStringLiteral("report[002].pdf"))), QByteArray("new report"));

    auto sizeAndTime = open({same}, 4);
    start(sizeAndTime.get())->click();
    EXPECT_EQ(readAll(dest(QStringLiteral("same.pdf"))), QByteArray("abcde"));
    EXPECT_EQ(readAll(dest(QStringLiteral("same[001].pdf"))), QByteArray("12345"));

    auto size = open({same}, 5);
    start(size.get())->click();
    EXPECT_EQ(readAll(dest(QStringLiteral("same.pdf"))), QByteArray("12345"));

    auto overwrite = open({report}, 2);
    start(overwrite.get())->click();
    EXPECT_EQ(readAll(dest(QStringLiteral("report.pdf"))), QByteArray("new report"));
    // A copy kept its time, so under rule 4 the same file now overwrites instead of piling up.
    auto again = open({report}, 4);
    start(again.get())->click();
    EXPECT_FALSE(QFileInfo::exists(dest(QStringLiteral("report[003].pdf"))));
    EXPECT_EQ(QDir(m_dest).entryList(QDir::Files | QDir::Hidden).size(), 5);
}

TEST_F(CopyMove, ASourceAlreadyInTheDestinationIsLeftAlone) {
    writeFile(dest(QStringLiteral("here.pdf")), "here");
    for (int rule = 1; rule <= 5; ++rule) {
        auto w = open({dest(QStringLiteral("here.pdf"))}, rule);
        start(w.get())->click();
        EXPECT_EQ(readAll(dest(QStringLiteral("here.pdf"))), QByteArray("here")) << rule;
        EXPECT_EQ(QDir(m_dest).entryList(QDir::Files | QDir::Hidden).size(), 1) << rule;
    }
    // Reached through another spelling of the same folder, it is still the same folder.
    auto w = open({m_dest + QStringLiteral("/../dest/here.pdf")}, 3);
    start(w.get())->click();
    EXPECT_EQ(QDir(m_dest).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(CopyMove, StopDuringARunSkipsTheRestAndStillReportsTheEnd) {
    QStringList sources;
    for (int i = 0; i < 4; ++i)
        sources << src(QStringLiteral("f%1.bin").arg(i), QByteArray(100, char('a' + i)));
    auto w = open(sources, 3);
    QPushButton *button = start(w.get());
    QString textWhileRunning;
    int progressMax = 0;
    // The user presses the button while the first file is under way.
    QTimer::singleShot(0, w.get(), [&] {
        textWhileRunning = button->text();
        progressMax = w->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->maximum();
        button->click();
    });
    button->click();
    EXPECT_EQ(textWhileRunning, QStringLiteral("停止"));
    EXPECT_EQ(progressMax, 5);
    EXPECT_EQ(QDir(m_dest).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("f0.bin")});
    EXPECT_EQ(button->text(), QStringLiteral("开始"));
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("复制文件完成！"));
    EXPECT_EQ(w->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->value(), 0);
}

TEST_F(CopyMove, AFolderThatCannotBeMadeTouchesNothing) {
    writeFile(m_temp.filePath(QStringLiteral("plainfile")), "x");
    const QString source = src(QStringLiteral("a.pdf"), "a");
    auto w = open({source}, 2);
    w->findChild<QComboBox *>(QStringLiteral("Combo1"))
        ->setEditText(m_temp.filePath(QStringLiteral("plainfile/sub")));
    start(w.get())->click();
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("创建文件夹出错！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    EXPECT_EQ(start(w.get())->text(), QStringLiteral("开始"));
    EXPECT_FALSE(QFileInfo::exists(FolderHistoryPath()));
}
