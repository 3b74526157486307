// The about window, the program's own system information, the usage notes
// and the run-rights help.
#include "about/AboutWindow.h"
#include "about/RightsHelpWindow.h"
#include "about/SystemInfoWindow.h"
#include "about/UsageWindow.h"
#include "support/QtPrinters.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <gtest/gtest.h>

using namespace dh;

namespace {
template <class T> T *Find(QWidget *w, const char *name)
{
    T *child = w->findChild<T *>(QString::fromUtf8(name));
    EXPECT_TRUE(child) << name;
    return child;
}
} // namespace

TEST(AboutWindows, AboutShowsTitleVersionAndOpensSystemInformation)
{
    AboutWindow about;
    EXPECT_EQ(about.objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于『Docharvest』 "));
    EXPECT_EQ(Find<QLabel>(&about, "lsoftname")->text(), QStringLiteral("Docharvest"));
    EXPECT_EQ(Find<QLabel>(&about, "lblVersion")->text(), QStringLiteral("版本 ") + VersionText());
    EXPECT_EQ(Find<QLabel>(&about, "lblVersion")->text(), QStringLiteral("版本 1.0.0"));
    EXPECT_TRUE(Find<QLabel>(&about, "lblDataFolder")->text().contains(ProgramFolder()));
    EXPECT_EQ(Find<QPushButton>(&about, "cmdSysInfo")->text(), QStringLiteral("系统信息(&S)..."));
    // Without a publisher site there is no link to follow.
    EXPECT_FALSE(about.findChild<QLabel *>(QStringLiteral("lblWeb")));

    QStringList opened;
    Messages::SetModalHook([&](QDialog *dialog) {
        opened.append(dialog->objectName());
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("ListView1"));
        EXPECT_TRUE(table);
        if (table) {
            EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("操作系统"));
            EXPECT_EQ(table->item(0, 1)->text(), OsDescription());
        }
        return int(QDialog::Accepted);
    });
    Find<QPushButton>(&about, "cmdSysInfo")->click();
    Messages::SetModalHook({});
    EXPECT_EQ(opened, QStringList{QStringLiteral("fSysInfo")});

    about.show();
    Find<QPushButton>(&about, "cmdOK")->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), int(QDialog::Accepted));
}

TEST(AboutWindows, SystemInformationNamesEveryFolderAndVersion)
{
    QStringList items;
    QStringList values;
    for (const auto &[item, value] : SystemInfoRows()) {
        items.append(item);
        values.append(value);
        EXPECT_FALSE(value.trimmed().isEmpty()) << item.toStdString();
    }
    for (const char *wanted : {"操作系统", "处理器", "内存", "Qt 版本", "浏览器引擎", "设置文件", "数据文件夹", "缓存文件夹"})
        EXPECT_TRUE(items.contains(QString::fromUtf8(wanted))) << wanted;
    EXPECT_TRUE(values.contains(ProgramFolder()));
    EXPECT_TRUE(values.contains(QString::fromLatin1(qVersion())));
    EXPECT_TRUE(values.join(QLatin1Char('\n')).contains(QStringLiteral("Chromium ")));
}

TEST(AboutWindows, UsageNotesAndRightsHelp)
{
    UsageWindow usage;
    EXPECT_EQ(usage.objectName(), QStringLiteral("fUse"));
    EXPECT_EQ(usage.windowTitle(), QStringLiteral("使用说明、技巧和注意事项-Docharvest"));
    auto *text = Find<QPlainTextEdit>(&usage, "Text1");
    EXPECT_TRUE(text->isReadOnly());
    const QString notes = text->toPlainText();
    for (const char *topic : {"1. ", "限速延时", "镜像", "验证页面", "从中断处继续"})
        EXPECT_TRUE(notes.contains(QString::fromUtf8(topic))) << topic;
    EXPECT_EQ(Find<QPushButton>(&usage, "Command1")->text(), QStringLiteral("关闭"));

    RightsHelpWindow rights(QStringLiteral("docharvest"), QStringLiteral("Debian 12 版本:12 (内部版本:6.1)[64位]"));
    EXPECT_EQ(rights.objectName(), QStringLiteral("Net352"));
    EXPECT_EQ(Find<QLabel>(&rights, "Label1")->text(), QStringLiteral("docharvest"));
    EXPECT_EQ(Find<QLabel>(&rights, "Label2")->text(),
              QStringLiteral("您的操作系统是：Debian 12 版本:12 (内部版本:6.1)[64位]"));
    EXPECT_EQ(Find<QLabel>(&rights, "Label3")->text(),
              QStringLiteral("请找到安装本软件的目标文件夹，选中docharvest.exe文件，右击鼠标，弹出菜单，点击“属性”，"
                             "弹出属性窗口，切换到“兼容性”页标签，按照以下图片设置，点击确定。"));
    EXPECT_FALSE(Find<QLabel>(&rights, "Image1")->pixmap().isNull());
}
