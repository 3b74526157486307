#include "support/QtPrinters.h"
#include "tools/FolderHistory.h"
#include "tools/SaveLocationDialog.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace dh
{
namespace
{

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class SaveLocation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        QFile::remove(FolderHistoryPath());
        // A fresh store per test, in a folder that outlives the test for the
        // tests that run after these.
        static QTemporaryDir stores;
        static int n = 0;
        Settings::UseFile(stores.filePath(QStringLiteral("save-location-%1.ini").arg(++n)));
        Shared() = SharedValues{};
        Messages::Clear();
    }
    void TearDown() override
    {
        Messages::SetModalHook({});
        Messages::Clear();
        QFile::remove(FolderHistoryPath());
    }
    QString path(const QString &name) const { return QDir::toNativeSeparators(m_temp.filePath(name)); }

    // Runs the dialog through the modal seam; `act` plays the user.
    bool ask(const std::function<void(QDialog *)> &act)
    {
        Messages::SetModalHook([act](QDialog *dialog) {
            act(dialog);
            return dialog->result();
        });
        return SaveLocationDialog::Ask(nullptr);
    }
    static QComboBox *combo(QDialog *d) { return d->findChild<QComboBox *>(QStringLiteral("Combo1")); }
    static void click(QDialog *d, const char *name)
    {
        d->findChild<QPushButton *>(QString::fromUtf8(name))->click();
    }

    QTemporaryDir m_temp;
};

TEST_F(SaveLocation, FirstUseShowsTheDefaultFolderAndTitleNames)
{
    bool seen = false;
    ask([&](QDialog *d) {
        seen = true;
        EXPECT_EQ(d->objectName(), QStringLiteral("fSeleFileSavePath"));
        EXPECT_TRUE(d->windowTitle().startsWith(QStringLiteral("选择下载保存路径-")));
        EXPECT_TRUE(d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(combo(d)->currentText(), DefaultDownloadFolder());
        EXPECT_EQ(combo(d)->count(), 0);
        EXPECT_TRUE(d->findChild<QRadioButton *>(QStringLiteral("Option2"))->isChecked());
        EXPECT_FALSE(d->findChild<QRadioButton *>(QStringLiteral("Option1"))->isChecked());
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(Shared().downloadFolder, DefaultDownloadFolder());
}

TEST_F(SaveLocation, HistoryMergesCaseVariantsAndStopsAfterHundredLines)
{
    const QString a = path(QStringLiteral("Books")) + PathSeparator();
    const QString b = path(QStringLiteral("books")) + PathSeparator();
    writeAll(FolderHistoryPath(), "  " + a.toUtf8() + "\r\n\r\n" + b.toUtf8() + "  \r\n");
    EXPECT_EQ(ReadFolderHistory(), QStringList{a});

    // 150 non-empty lines, two of them repeats in other case: 100 read, 98 kept.
    QByteArray bytes;
    for (int i = 0; i < 150; ++i) {
        if (i == 30)
            bytes += "\r\n   \r\n"; // empty lines do not count
        const QString line = i == 10   ? QStringLiteral("/DIR3")
                             : i == 20 ? QStringLiteral("/Dir4")
                                       : QStringLiteral("/dir%1").arg(i);
        bytes += line.toUtf8() + "\r\n";
    }
    writeAll(FolderHistoryPath(), bytes);
    ask([](QDialog *d) {
        QComboBox *c = combo(d);
        ASSERT_EQ(c->count(), 98);
        EXPECT_EQ(c->itemText(0), QStringLiteral("/dir0"));
        EXPECT_EQ(c->itemText(97), QStringLiteral("/dir99"));
        EXPECT_EQ(c->findText(QStringLiteral("/DIR3")), -1);
    });

    QComboBox untouched;
    untouched.addItem(QStringLiteral("kept"));
    LoadFolderHistory(&untouched, path(QStringLiteral("missing.dat")));
    EXPECT_EQ(untouched.count(), 1);
}

TEST_F(SaveLocation, HistoryFileFormat)
{
    const QString file = path(QStringLiteral("h.dat"));
    ASSERT_TRUE(WriteFolderHistory({}, file));
    EXPECT_EQ(readAll(file), QByteArray("\r\n"));
    ASSERT_TRUE(WriteFolderHistory({QStringLiteral("/a"), QStringLiteral("/文档")}, file));
    EXPECT_EQ(readAll(file), QStringLiteral("/a\r\n/文档\r\n").toUtf8());
    EXPECT_EQ(ReadFolderHistory(file), (QStringList{QStringLiteral("/a"), QStringLiteral("/文档")}));
    EXPECT_FALSE(ReadFolderHistory(path(QStringLiteral("none.dat"))).has_value());
    EXPECT_FALSE(WriteFolderHistory({}, path(QStringLiteral("no/such/dir/h.dat"))));
}

TEST_F(SaveLocation, OkCreatesAndRemembersTheFolder)
{
    writeAll(FolderHistoryPath(), "/old\r\n");
    const QString target = path(QStringLiteral("books/新"));
    const bool confirmed = ask([&](QDialog *d) {
        combo(d)->setEditText(target);
        click(d, "Command2");
    });
    EXPECT_TRUE(confirmed);
    EXPECT_TRUE(QDir(target).exists());
    const QString stored = target + PathSeparator();
    EXPECT_EQ(Shared().downloadFolder, stored);
    EXPECT_EQ(Settings::Read(Keys::DownloadFolder), stored);
    EXPECT_FALSE(Shared().saveLocationCancelled);
    EXPECT_EQ(readAll(FolderHistoryPath()),
              (QStringLiteral("/old\r\n") + target + QStringLiteral("\r\n")).toUtf8());

    // The next time the stored folder is shown, the history holds it once more.
    ask([&](QDialog *d) {
        EXPECT_EQ(combo(d)->currentText(), stored);
        EXPECT_EQ(combo(d)->count(), 2);
    });
}

TEST_F(SaveLocation, EmptyFolderIsRefusedAndTheDialogStays)
{
    bool stillOpen = false;
    const bool confirmed = ask([&](QDialog *d) {
        d->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
        combo(d)->setEditText(QStringLiteral("   "));
        click(d, "Command2");
        stillOpen = d->result() != QDialog::Accepted;
        click(d, "Command3");
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(confirmed);
    ASSERT_FALSE(Messages::Shown().isEmpty());
    EXPECT_EQ(Messages::Shown().constFirst().text, QStringLiteral("文件夹设置错误！"));
    EXPECT_EQ(Messages::Shown().constFirst().icon, MsgIcon::Error);
    EXPECT_TRUE(Shared().useOriginalFileName); // set before the folder test
    EXPECT_FALSE(QFile::exists(FolderHistoryPath()));
    EXPECT_EQ(Settings::ReadOr(Keys::DownloadFolder, QStringLiteral("unset")), QStringLiteral("unset"));
}

TEST_F(SaveLocation, CancelChangesNothingStored)
{
    writeAll(FolderHistoryPath(), "/old\r\n");
    const QString target = path(QStringLiteral("never"));
    const bool confirmed = ask([&](QDialog *d) {
        d->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
        combo(d)->setEditText(target);
        click(d, "Command3");
    });
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(Shared().saveLocationCancelled);
    EXPECT_FALSE(Shared().useOriginalFileName);
    EXPECT_FALSE(QDir(target).exists());
    EXPECT_EQ(readAll(FolderHistoryPath()), QByteArray("/old\r\n"));
    EXPECT_EQ(Settings::ReadOr(Keys::DownloadFolder, QStringLiteral("unset")), QStringLiteral("unset"));
}

TEST_F(SaveLocation, CloseBoxKeepsTheCancelledFlag)
{
    for (const bool before : {true, false}) {
        SCOPED_TRACE(before);
        Shared().saveLocationCancelled = before;
        const bool confirmed = ask([](QDialog *d) {
            d->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
            d->show();
            d->close();
            EXPECT_FALSE(d->isVisible());
        });
        EXPECT_EQ(Shared().saveLocationCancelled, before);
        EXPECT_EQ(confirmed, !before);
        EXPECT_FALSE(Shared().useOriginalFileName);
    }
}

TEST_F(SaveLocation, FileNameModeAndBrowseWithinARun)
{
    const QString target = path(QStringLiteral("picked"));
    ASSERT_TRUE(QDir().mkpath(target));
    ask([&](QDialog *d) {
        d->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
        Messages::QueueAnswer(target);
        click(d, "Command1");
        EXPECT_EQ(combo(d)->currentText(), target + PathSeparator());
        click(d, "Command2");
    });
    EXPECT_TRUE(Shared().useOriginalFileName);
    EXPECT_EQ(Shared().downloadFolder, target + PathSeparator());
    ask([](QDialog *d) {
        EXPECT_TRUE(d->findChild<QRadioButton *>(QStringLiteral("Option1"))->isChecked());
        EXPECT_FALSE(d->findChild<QRadioButton *>(QStringLiteral("Option2"))->isChecked());
        click(d, "Command2");
    });
    EXPECT_TRUE(Shared().useOriginalFileName);
}

} // namespace
} // namespace dh
