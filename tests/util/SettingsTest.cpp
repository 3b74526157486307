#include "util/Settings.h"
#include "support/QtPrinters.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <limits>

using namespace dh;

namespace {
// A fresh store per test.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Settings::UseFile(m_dir.filePath(QStringLiteral("s.ini"))); }
    QTemporaryDir m_dir;
};
} // namespace

TEST_F(SettingsTest, ReadsDefaultsAndRoundTripsChineseNames) {
    EXPECT_EQ(Settings::Read(Keys::SameNameRule), QStringLiteral("重命名"));
    EXPECT_EQ(Settings::ReadInt(Keys::DownloadMethod), 2);
    EXPECT_EQ(Settings::ReadInt(Keys::ThreadPosition), 2);
    EXPECT_DOUBLE_EQ(Settings::ReadDouble(Keys::FileMaxSize), 10.0);
    EXPECT_EQ(Settings::ReadInt(Keys::AskSaveLocation), 1);

    Settings::Write(Keys::SameNameRule, QStringLiteral("覆盖"));
    Settings::Write(QStringLiteral("自定义节"), QStringLiteral("键 名"), QStringLiteral("值\\带/符号=;"));
    Settings::UseFile(m_dir.filePath(QStringLiteral("s.ini"))); // reopen from disk
    EXPECT_EQ(Settings::Read(Keys::SameNameRule), QStringLiteral("覆盖"));
    EXPECT_EQ(Settings::Read(QStringLiteral("自定义节"), QStringLiteral("键 名"), QString()),
              QStringLiteral("值\\带/符号=;"));
}

TEST_F(SettingsTest, WindowSectionsAreSeparate) {
    Settings::Write(Keys::Keywords, QStringLiteral("a\r\nb"), QStringLiteral("fWebSearch"));
    Settings::Write(Keys::Delay, 5, QStringLiteral("fWebSearch2"));
    EXPECT_EQ(Settings::Read(Keys::Keywords, QStringLiteral("fWebSearch")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(Settings::Read(Keys::Keywords, QStringLiteral("fWebSearch2")), QString());
    EXPECT_EQ(Settings::ReadOr(Keys::Delay, QStringLiteral("30"), QStringLiteral("fWebSearch")),
              QStringLiteral("30"));
    EXPECT_EQ(Settings::ReadOr(Keys::Delay, QStringLiteral("3"), QStringLiteral("fWebSearch2")),
              QStringLiteral("5"));
}

TEST_F(SettingsTest, UnparsableNumbersReadAsDefault) {
    Settings::Write(Keys::DownloadMethod, QStringLiteral("abc"));
    Settings::Write(Keys::FileMaxSize, QStringLiteral("2.5"));
    EXPECT_EQ(Settings::ReadInt(Keys::DownloadMethod), 2);
    EXPECT_DOUBLE_EQ(Settings::ReadDouble(Keys::FileMaxSize), 2.5);
    EXPECT_EQ(NumberText(2.5), QStringLiteral("2.5"));
    EXPECT_EQ(NumberText(10), QStringLiteral("10"));
}

TEST_F(SettingsTest, GeometryRestoreRules) {
    QWidget w;
    w.setObjectName(QStringLiteral("fFileDownload"));
    // first run: no stored screen size -> the first size, centred on the screen
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    RestoreWindowGeometry(&w, QSize(1100, 600));
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w.geometry().size(), QSize(1100, 600).boundedTo(screen.size() * 0.95));
    EXPECT_TRUE(screen.contains(w.geometry()));
    EXPECT_EQ(w.geometry().center(), screen.center());

    // same screen, too small and negative values are clamped
    const QString name = w.objectName();
    Settings::Write(name, QStringLiteral("分辨率"), ScreenSizeText());
    Settings::Write(name, QStringLiteral("上"), QStringLiteral("-200"));
    Settings::Write(name, QStringLiteral("左"), QStringLiteral("300"));
    Settings::Write(name, QStringLiteral("宽"), QStringLiteral("3000"));
    Settings::Write(name, QStringLiteral("高"), QStringLiteral("2000"));
    QWidget w2;
    w2.setObjectName(name);
    RestoreWindowGeometry(&w2);
    EXPECT_FALSE(w2.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(w2.geometry(), QRect(20, 0, 4000 / 15, 3000 / 15));

    // save in normal state writes twips; a maximized close writes 0*0 only
    w2.setGeometry(30, 40, 500, 400);
    SaveWindowGeometry(&w2);
    EXPECT_EQ(Settings::Read(name, QStringLiteral("宽"), QString()), QStringLiteral("7500"));
    EXPECT_EQ(Settings::Read(name, QStringLiteral("上"), QString()), QStringLiteral("600"));
    w2.setWindowState(Qt::WindowMaximized);
    SaveWindowGeometry(&w2);
    EXPECT_EQ(Settings::Read(name, QStringLiteral("分辨率"), QString()), QStringLiteral("0*0"));
    EXPECT_EQ(Settings::Read(name, QStringLiteral("宽"), QString()), QStringLiteral("7500"));
    QWidget w3;
    w3.setObjectName(name);
    RestoreWindowGeometry(&w3);
    EXPECT_TRUE(w3.windowState() & Qt::WindowMaximized);

    // a changed screen resolution opens at the first size again, within the screen
    Settings::Write(name, QStringLiteral("分辨率"), QStringLiteral("1*1"));
    QWidget w4;
    w4.setObjectName(name);
    RestoreWindowGeometry(&w4, QSize(9000, 9000));
    EXPECT_FALSE(w4.windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(screen.contains(w4.geometry()));
}

TEST(ScreenSize, TextIsWidthStarHeight) {
    const QSize s = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(ScreenSizeText(), QStringLiteral("%1*%2").arg(s.width()).arg(s.height()));
}

TEST(SizeLimit, OutsideOneToAMillionMegabytesReadsAsTheDefault) {
    EXPECT_DOUBLE_EQ(ValidSizeLimitMb(25.5), 25.5);
    EXPECT_DOUBLE_EQ(ValidSizeLimitMb(1), 1);
    EXPECT_DOUBLE_EQ(ValidSizeLimitMb(1000000), 1000000);
    for (double odd : {0.0, 0.5, -5.0, 1e300, 1000001.0, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()})
        EXPECT_DOUBLE_EQ(ValidSizeLimitMb(odd), 10) << odd;
    Settings::Write(Keys::FileMaxSize, QStringLiteral("1e300"));
    EXPECT_DOUBLE_EQ(StoredSizeLimitMb(), 10);
    Settings::Write(Keys::FileMaxSize, QStringLiteral("inf"));
    EXPECT_DOUBLE_EQ(StoredSizeLimitMb(), 10);
    Settings::Write(Keys::FileMaxSize, QStringLiteral("200"));
    EXPECT_DOUBLE_EQ(StoredSizeLimitMb(), 200);
}
