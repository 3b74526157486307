// The options dialog: what OK keeps and refuses, its messages, and the open
// download window following the method choice.
#include "download/DownloadWindow.h"
#include "shell/OptionsDialog.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dh;

namespace {

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        Shared() = SharedValues{};
        // Values in effect, as the start and download windows read them.
        Shared().downloadMethod = 1;
        Shared().fileMaxSize = 10;
        Shared().searchLanguage = QStringLiteral("zh-CN");
        Shared().downloadFolder = m_dir.path() + QLatin1Char('/');
        for (const SettingKey &key :
             {Keys::DownloadMethod, Keys::ProxyEnabled, Keys::ProxyHost, Keys::ProxyPort,
              Keys::AskSaveLocation, Keys::SearchLanguage, Keys::FileMaxSize, Keys::DownloadFolder})
            Settings::Write(key, QStringLiteral("unchanged"));
        Messages::Clear();
    }
    void TearDown() override { Shared() = SharedValues{}; }

    template <class T> T *Find(QWidget *w, const char *name) {
        T *child = w->findChild<T *>(QString::fromUtf8(name));
        EXPECT_TRUE(child) << name;
        return child;
    }
    static QString Stored(const SettingKey &key) { return Settings::Read(key); }
    static QString LastMessage() { return Messages::Last() ? Messages::Last()->text : QString(); }

    QTemporaryDir m_dir;
};

TEST_F(Options, LoadsTheValuesInEffect) {
    Shared().downloadMethod = 2;
    Shared().proxyEnabled = 1;
    Shared().proxyHost = QStringLiteral("proxy.example.com");
    Shared().proxyPort = QStringLiteral("3128");
    Shared().askSaveLocation = 1;
    Shared().searchLanguage = QStringLiteral("en");
    Shared().fileMaxSize = 2.5;
    OptionsDialog dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("fOption"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置-Docharvest"));
    EXPECT_TRUE(Find<QRadioButton>(&dialog, "Option2")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(&dialog, "Check1")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text6")->text(), QStringLiteral("proxy.example.com"));
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text8")->text(), QStringLiteral("3128"));
    EXPECT_TRUE(Find<QCheckBox>(&dialog, "Check2")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(&dialog, "Option4")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text1")->text(), QStringLiteral("2.5"));
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text2")->text(), m_dir.path() + QLatin1Char('/'));
    EXPECT_EQ(Find<QLabel>(&dialog, "Label2")->text(), QStringLiteral("下载文件大小不超过：       MB"));

    // A language other than "en" and a method other than 1 or 2 show the designer defaults.
    Shared().searchLanguage = QStringLiteral("fr");
    Shared().downloadMethod = 7;
    OptionsDialog other;
    EXPECT_TRUE(Find<QRadioButton>(&other, "Option3")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(&other, "Option1")->isChecked());
}

TEST_F(Options, LettersInTheSizeSaveNothing) {
    OptionsDialog dialog;
    dialog.show();
    Find<QRadioButton>(&dialog, "Option2")->setChecked(true);
    Find<QRadioButton>(&dialog, "Option4")->setChecked(true);
    for (const char *bad : {"ten", "", "1,5", "inf", "nan", "-3", "0", "1e300", "1000001"}) {
        Messages::Clear();
        Find<QLineEdit>(&dialog, "Text1")->setText(QString::fromUtf8(bad));
        Find<QPushButton>(&dialog, "Command1")->click();
        const bool number = QByteArray(bad) == "-3" || QByteArray(bad) == "0" || QByteArray(bad) == "1e300" ||
                            QByteArray(bad) == "1000001";
        EXPECT_EQ(LastMessage(), number ? QStringLiteral("文件大小必须在1到1000000之间！")
                                        : QStringLiteral("文件大小必须为数字！"))
            << bad;
        EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
        EXPECT_EQ(Messages::Shown().size(), 1);
    }
    EXPECT_EQ(dialog.focusWidget(), Find<QLineEdit>(&dialog, "Text1"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(Shared().downloadMethod, 1);
    EXPECT_EQ(Shared().searchLanguage, QStringLiteral("zh-CN"));
    for (const SettingKey &key :
         {Keys::DownloadMethod, Keys::SearchLanguage, Keys::FileMaxSize, Keys::DownloadFolder})
        EXPECT_EQ(Stored(key), QStringLiteral("unchanged")) << key.key;
}

TEST_F(Options, DecimalSizeIsKeptAndShownAgain) {
    const QString folder = m_dir.filePath(QStringLiteral("docs"));
    {
        OptionsDialog dialog;
        Find<QLineEdit>(&dialog, "Text1")->setText(QStringLiteral(" 2.5 "));
        Find<QLineEdit>(&dialog, "Text2")->setText(folder);
        dialog.Confirm();
        EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
        EXPECT_TRUE(Messages::Shown().isEmpty());
    }
    EXPECT_EQ(Stored(Keys::FileMaxSize), QStringLiteral("2.5"));
    EXPECT_DOUBLE_EQ(Shared().fileMaxSize, 2.5);
    // The folder is created and stored with its separator.
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_EQ(Stored(Keys::DownloadFolder), folder + QLatin1Char('/'));
    EXPECT_EQ(Shared().downloadFolder, folder + QLatin1Char('/'));
    EXPECT_EQ(Stored(Keys::DownloadMethod), QStringLiteral("1"));
    EXPECT_EQ(Stored(Keys::ProxyEnabled), QStringLiteral("0"));
    EXPECT_EQ(Stored(Keys::SearchLanguage), QStringLiteral("zh-CN"));

    OptionsDialog again;
    EXPECT_EQ(Find<QLineEdit>(&again, "Text1")->text(), QStringLiteral("2.5"));
    EXPECT_EQ(Find<QLineEdit>(&again, "Text2")->text(), folder + QLatin1Char('/'));
}

TEST_F(Options, MalformedProxyWarnsButIsSaved) {
    OptionsDialog dialog;
    Find<QCheckBox>(&dialog, "Check1")->setChecked(true);
    Find<QLineEdit>(&dialog, "Text6")->setText(QStringLiteral("  proxy.example.com "));
    Find<QLineEdit>(&dialog, "Text8")->setText(QStringLiteral("port"));
    dialog.Confirm();
    ASSERT_EQ(Messages::Shown().size(), 1);
    EXPECT_EQ(LastMessage(), QStringLiteral("代理服务器网址或者端口格式不对！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted)); // the folder is valid, so it closes
    EXPECT_EQ(Stored(Keys::ProxyEnabled), QStringLiteral("1"));
    EXPECT_EQ(Stored(Keys::ProxyHost), QStringLiteral("proxy.example.com"));
    EXPECT_EQ(Stored(Keys::ProxyPort), QStringLiteral("port"));
    EXPECT_EQ(Shared().proxyHost, QStringLiteral("proxy.example.com"));

    // An empty address warns too; a sound proxy does not.
    Messages::Clear();
    OptionsDialog second;
    Find<QLineEdit>(&second, "Text6")->clear();
    Find<QLineEdit>(&second, "Text8")->setText(QStringLiteral("3128"));
    second.Confirm();
    EXPECT_EQ(LastMessage(), QStringLiteral("代理服务器网址或者端口格式不对！"));
    Messages::Clear();
    OptionsDialog third;
    Find<QLineEdit>(&third, "Text6")->setText(QStringLiteral("192.168.0.1"));
    third.Confirm();
    EXPECT_TRUE(Messages::Shown().isEmpty());
    EXPECT_EQ(Stored(Keys::ProxyPort), QStringLiteral("3128"));
}

TEST_F(Options, BadFolderKeepsTheDialogAfterTheOtherValuesTookEffect) {
    OptionsDialog dialog;
    dialog.show();
    Find<QRadioButton>(&dialog, "Option2")->setChecked(true);
    Find<QRadioButton>(&dialog, "Option4")->setChecked(true);
    Find<QCheckBox>(&dialog, "Check2")->setChecked(true);
    Find<QLineEdit>(&dialog, "Text1")->setText(QStringLiteral("7"));
    Find<QLineEdit>(&dialog, "Text2")->setText(QStringLiteral("    "));
    dialog.Confirm();
    EXPECT_EQ(LastMessage(), QStringLiteral("下载文件默认保存路径设置错误！"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(Stored(Keys::DownloadMethod), QStringLiteral("2"));
    EXPECT_EQ(Stored(Keys::SearchLanguage), QStringLiteral("en"));
    EXPECT_EQ(Stored(Keys::AskSaveLocation), QStringLiteral("1"));
    EXPECT_EQ(Stored(Keys::FileMaxSize), QStringLiteral("7"));
    EXPECT_EQ(Stored(Keys::DownloadFolder), QStringLiteral("unchanged"));
    EXPECT_EQ(Shared().downloadMethod, 2);
    EXPECT_EQ(Shared().searchLanguage, QStringLiteral("en"));
    EXPECT_EQ(Shared().downloadFolder, m_dir.path() + QLatin1Char('/'));

    // A relative folder would depend on where the program started: refused as well.
    Messages::Clear();
    Find<QLineEdit>(&dialog, "Text2")->setText(QStringLiteral("docs"));
    dialog.Confirm();
    EXPECT_EQ(LastMessage(), QStringLiteral("下载文件默认保存路径设置错误！"));
    EXPECT_FALSE(QDir(QStringLiteral("docs")).exists());
    EXPECT_EQ(dialog.result(), 0);

    // A folder that cannot be created (a file is in the way).
    QFile blocker(m_dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Messages::Clear();
    Find<QLineEdit>(&dialog, "Text2")->setText(m_dir.filePath(QStringLiteral("file/sub")));
    dialog.Confirm();
    EXPECT_EQ(LastMessage(), QStringLiteral("下载文件默认保存路径设置错误！"));
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text2")->text(), QString());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(Stored(Keys::DownloadFolder), QStringLiteral("unchanged"));
}

TEST_F(Options, ChooseFolderReplacesTheTextOrKeepsItWithASeparator) {
    OptionsDialog dialog;
    auto *text2 = Find<QLineEdit>(&dialog, "Text2");
    Messages::QueueAnswer(m_dir.filePath(QStringLiteral("picked")));
    Find<QPushButton>(&dialog, "Command3")->click();
    EXPECT_EQ(text2->text(), m_dir.filePath(QStringLiteral("picked")) + QLatin1Char('/'));
    text2->setText(m_dir.path());
    Find<QPushButton>(&dialog, "Command3")->click(); // cancelled: no answer queued
    EXPECT_EQ(text2->text(), m_dir.path() + QLatin1Char('/'));
}

TEST_F(Options, StoredProxyIsShownAndKeptBeforeTheDownloadWindowReadIt) {
    Shared() = SharedValues{}; // nothing read in this run yet
    Settings::Write(Keys::DownloadMethod, 2);
    Settings::Write(Keys::ProxyEnabled, 1);
    Settings::Write(Keys::ProxyHost, QStringLiteral("proxy.example.com"));
    Settings::Write(Keys::ProxyPort, QStringLiteral("8080"));
    Settings::Write(Keys::FileMaxSize, QStringLiteral("12"));
    Settings::Write(Keys::DownloadFolder, m_dir.path() + QLatin1Char('/'));
    OptionsDialog dialog;
    EXPECT_TRUE(Find<QRadioButton>(&dialog, "Option2")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text6")->text(), QStringLiteral("proxy.example.com"));
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text1")->text(), QStringLiteral("12"));
    EXPECT_EQ(Find<QLineEdit>(&dialog, "Text2")->text(), m_dir.path() + QLatin1Char('/'));
    Find<QRadioButton>(&dialog, "Option4")->setChecked(true);
    dialog.Confirm();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(Stored(Keys::DownloadMethod), QStringLiteral("2"));
    EXPECT_EQ(Stored(Keys::ProxyEnabled), QStringLiteral("1"));
    EXPECT_EQ(Stored(Keys::ProxyHost), QStringLiteral("proxy.example.com"));
    EXPECT_EQ(Stored(Keys::ProxyPort), QStringLiteral("8080"));
    EXPECT_EQ(Stored(Keys::SearchLanguage), QStringLiteral("en"));
}

TEST_F(Options, MethodChoiceUpdatesAnOpenDownloadWindow) {
    Settings::Write(Keys::DownloadMethod, 2);
    Settings::Write(Keys::ThreadPosition, 3);
    QPointer<DownloadWindow> downloads = DownloadWindow::EnsureInstance(); // deletes itself when closed
    auto *label7 = Find<QLabel>(downloads, "Label7");
    auto *combo1 = Find<QComboBox>(downloads, "Combo1");
    ASSERT_EQ(combo1->currentText(), QStringLiteral("4"));
    ASSERT_EQ(label7->text(), QStringLiteral("下载方式：2"));

    {
        OptionsDialog dialog;
        EXPECT_TRUE(Find<QRadioButton>(&dialog, "Option2")->isChecked());
        dialog.Confirm();
    }
    EXPECT_EQ(combo1->currentText(), QStringLiteral("1"));
    EXPECT_TRUE(combo1->isEnabled());
    EXPECT_EQ(label7->text(), QStringLiteral("下载方式：2"));

    {
        OptionsDialog dialog;
        Find<QRadioButton>(&dialog, "Option1")->setChecked(true);
        dialog.Confirm();
    }
    EXPECT_EQ(label7->text(), QStringLiteral("下载方式：1"));
    EXPECT_FALSE(combo1->isEnabled());
    EXPECT_EQ(downloads->Method(), 1);
    EXPECT_EQ(Shared().downloadMethod, 1);
    // The window's own close keeps the choice rather than writing its old method back.
    downloads->close();
    EXPECT_EQ(Stored(Keys::DownloadMethod), QStringLiteral("1"));
    ASSERT_TRUE(WaitUntil([&] { return downloads.isNull(); }, 5000));
}

} // namespace
