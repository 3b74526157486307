// The download window's list menu as the user reaches it: guards while
// downloading, questions, counts in Label1, the replacement dialog, the text
// viewer's size limit, name export and the automatic re-download.
#include "download/DownloadWindow.h"
#include "download/TextViewerWindow.h"
#include "support/QtPrinters.h"
#include "util/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

namespace dh {
namespace {

const QString kGuard = QStringLiteral("停止下载以后，才能执行此操作！");

class DownloadMenus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + QStringLiteral("/");
        m_window = new DownloadWindow;
        Messages::Clear();
    }
    void TearDown() override {
        m_window->StopDownloading();
        delete m_window;
        Messages::Clear();
        Messages::SetModalHook({});
    }

    int Add(const QString &key, const QString &name, ItemState state, const QString &type = QStringLiteral("pdf")) {
        DownloadListModel *m = m_window->Model();
        m->加入下载列表(key, name, type, m_folder, QString());
        const int row = m->RowOfKey(key);
        DownloadItem item = m->Item(row);
        item.name = name;
        item.state = state;
        m->SetItem(row, item);
        return row;
    }
    // A menu entry by its name ("menu全选", "menu移除(不删除文件).完成项").
    void Trigger(const char *name) {
        auto *action = m_window->findChild<QAction *>(QString::fromUtf8(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
    QAction *Action(const char *name) const {
        return m_window->findChild<QAction *>(QString::fromUtf8(name));
    }
    QString Label1() const { return m_window->findChild<QLabel *>(QStringLiteral("Label1"))->text(); }
    QString LastText() const { return Messages::Last() ? Messages::Last()->text : QString(); }
    void Select(int row) const {
        QTreeView *view = m_window->View();
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList Keys() const {
        QStringList keys;
        for (int row = 0; row < m_window->Model()->Count(); ++row)
            keys << m_window->Model()->Item(row).key;
        return keys;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    DownloadWindow *m_window = nullptr;
};

// While the scheduler is on, every guarded entry refuses and changes
// nothing, and the list menu disables what the busy state forbids.
TEST_F(DownloadMenus, GuardedEntriesRefuseWhileDownloading) {
    Add(QStringLiteral("http://a/1"), QStringLiteral("一"), ItemState::Done);
    Add(QStringLiteral("http://a/2"), QStringLiteral("二"), ItemState::Failed);
    m_window->StartDownloading(); // nothing waits: it stays on until the supervisor's next tick
    ASSERT_TRUE(m_window->IsDownloading());
    const QStringList before = Keys();

    for (const char *entry : {"menu随机排序列表(打乱)", "menu移除(不删除文件).完成项", "menu移除(不删除文件).清空全部",
                              "menu移除(不删除文件).全部出错项", "menu批量替换网址"}) {
        Messages::Clear();
        Trigger(entry);
        ASSERT_EQ(Messages::Shown().size(), 1) << entry;
        EXPECT_EQ(LastText(), kGuard) << entry;
        EXPECT_EQ(Messages::Last()->icon, MsgIcon::Information);
    }
    EXPECT_EQ(Keys(), before);

    // The menu shows what is open to the user now.
    QMenu *menu = m_window->findChild<QMenu *>(QStringLiteral("menu列表操作"));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    EXPECT_FALSE(Action("menu全选")->isEnabled());
    EXPECT_FALSE(m_window->findChild<QMenu *>(QStringLiteral("menu移除(不删除文件)"))->isEnabled());
    EXPECT_FALSE(Action("menu移除(不删除文件).清空全部")->isEnabled());
    EXPECT_TRUE(Action("menu停止下载")->isEnabled());

    // Re-download is not guarded: it takes ended items only.
    Trigger("menu重新下载.出错项");
    EXPECT_EQ(m_window->Model()->Item(1).state, ItemState::Waiting);

    m_window->StopDownloading();
    emit menu->aboutToShow();
    EXPECT_TRUE(Action("menu全选")->isEnabled());
    EXPECT_TRUE(Action("menu移除(不删除文件).清空全部")->isEnabled());
    EXPECT_FALSE(Action("menu停止下载")->isEnabled());
    Messages::Clear();
    Trigger("menu随机排序列表(打乱)");
    EXPECT_EQ(LastText(), QStringLiteral("随机排序完成！"));
    EXPECT_EQ(m_window->Model()->Count(), 2);
}

TEST_F(DownloadMenus, RemovalsAndClearAll) {
    const int done = Add(QStringLiteral("d"), QStringLiteral("完"), ItemState::Done);
    Add(QStringLiteral("w1"), QStringLiteral("等1"), ItemState::Waiting);
    Add(QStringLiteral("w2"), QStringLiteral("等2"), ItemState::Waiting);
    EXPECT_EQ(done, 0);

    Messages::QueueAnswer(QStringLiteral("no"));
    Trigger("menu移除(不删除文件).清空全部");
    EXPECT_EQ(LastText(), QStringLiteral("您确定要清空列表的所有信息吗？"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::None);
    EXPECT_EQ(m_window->Model()->Count(), 3);

    Trigger("menu移除(不删除文件).完成项");
    EXPECT_EQ(Keys(), (QStringList{QStringLiteral("w1"), QStringLiteral("w2")}));
    EXPECT_EQ(Label1(), QStringLiteral("2条"));

    Select(1);
    Trigger("menu移除(不删除文件).选中项");
    EXPECT_EQ(Keys(), QStringList{QStringLiteral("w1")});
    EXPECT_EQ(Label1(), QStringLiteral("1条"));

    Messages::QueueAnswer(QStringLiteral("yes"));
    Trigger("menu移除(不删除文件).清空全部");
    EXPECT_EQ(m_window->Model()->Count(), 0);
    EXPECT_EQ(Label1(), QStringLiteral("0条"));
}

// Cancel turns selected waiting rows to failed; copy name; missing files.
TEST_F(DownloadMenus, CancelCopyAndCheckFiles) {
    const int a = Add(QStringLiteral("a"), QStringLiteral("名称甲"), ItemState::Waiting);
    const int b = Add(QStringLiteral("b"), QStringLiteral("名称乙"), ItemState::Done);
    QFile file(m_folder + QStringLiteral("名称乙.pdf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const int running = Add(QStringLiteral("r"), QStringLiteral("运行"), ItemState::Downloading);
    m_window->Model()->SetText(a, DownloadListModel::SizeColumn, QStringLiteral("等待重新下载"));
    Select(running);
    Select(a);
    Trigger("menu取消下载选中项");
    EXPECT_EQ(m_window->Model()->Item(a).state, ItemState::Failed);
    EXPECT_EQ(m_window->Model()->Item(a).size, QStringLiteral("等待重新下载")) << "the columns keep their texts";
    EXPECT_EQ(m_window->Model()->Item(running).state, ItemState::Downloading);
    Trigger("menu复制名称");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("名称甲"));
    Trigger("menu检查文件是否存在");
    EXPECT_EQ(m_window->Model()->Item(a).percent, QStringLiteral("不存在"));
    EXPECT_TRUE(m_window->Model()->Item(b).percent.isEmpty());
}

// The two input boxes: a non-number does nothing for the re-download entry
// and is an error for the delete entry.
TEST_F(DownloadMenus, SmallerThanAnswers) {
    const int row = Add(QStringLiteral("a"), QStringLiteral("小"), ItemState::Done);
    m_window->Model()->SetText(row, DownloadListModel::SizeColumn, QStringLiteral("100"));
    m_window->Model()->SetText(row, DownloadListModel::ReceivedColumn, QStringLiteral("100"));

    Messages::QueueAnswer(QStringLiteral("abc"));
    Trigger("menu重新下载.文件大小小于指定数字的项");
    ASSERT_EQ(Messages::Shown().size(), 1);
    EXPECT_EQ(Messages::Shown().at(0).text, QStringLiteral("请输入数字："));
    EXPECT_EQ(Messages::Shown().at(0).title, QStringLiteral("Docharvest"));
    EXPECT_EQ(m_window->Model()->Item(row).state, ItemState::Done);

    Messages::QueueAnswer(QStringLiteral("101"));
    Trigger("menu重新下载.文件大小小于指定数字的项");
    EXPECT_EQ(m_window->Model()->Item(row).state, ItemState::Waiting);

    Messages::Clear();
    Messages::QueueAnswer(QStringLiteral("三"));
    Trigger("menu删除文件(不移除).文件大小小于指定数的");
    ASSERT_EQ(Messages::Shown().size(), 2);
    EXPECT_EQ(Messages::Shown().at(0).title, QStringLiteral("删除文件大小小于指定数的全部文件"));
    EXPECT_EQ(LastText(), QStringLiteral("文件大小无效！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
}

// The dialog: spaces only are refused; the search ignores letter case; a
// row whose new key is taken keeps its own, and the message says so.
TEST_F(DownloadMenus, UrlReplaceDialog) {
    Add(QStringLiteral("http://MIRROR.example/a.pdf"), QStringLiteral("a"), ItemState::Waiting);
    Add(QStringLiteral("http://mirror.example/b.pdf"), QStringLiteral("b"), ItemState::Waiting);
    Add(QStringLiteral("http://new.example/b.pdf"), QStringLiteral("c"), ItemState::Waiting);
    m_window->Model()->SetReferrer(0, QStringLiteral("http://Mirror.Example/list"));

    QStringList typed{QStringLiteral("   "), QStringLiteral("mirror.EXAMPLE")};
    QString caption;
    QStringList texts;
    Messages::SetModalHook([&](QDialog *dialog) {
        caption = dialog->objectName() + QLatin1Char('|') + dialog->windowTitle();
        auto *text1 = dialog->findChild<QLineEdit *>(QStringLiteral("Text1"));
        auto *text2 = dialog->findChild<QLineEdit *>(QStringLiteral("Text2"));
        auto *replace = dialog->findChild<QPushButton *>(QStringLiteral("Command1"));
        for (const QString &t : typed) {
            text1->setText(t);
            text2->setText(QStringLiteral("new.example"));
            replace->click();
            texts << (dialog->result() == QDialog::Accepted ? QStringLiteral("closed") : LastText());
            if (dialog->result() == QDialog::Accepted)
                break;
        }
        return dialog->result();
    });
    Trigger("menu批量替换网址");
    EXPECT_EQ(caption, QStringLiteral("UrlReplace|网址批量替换-Docharvest"));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("请输入字符串！"), QStringLiteral("closed")}));
    EXPECT_EQ(Keys(), (QStringList{QStringLiteral("http://new.example/a.pdf"), QStringLiteral("http://mirror.example/b.pdf"),
                                   QStringLiteral("http://new.example/b.pdf")}));
    EXPECT_EQ(m_window->Model()->Item(0).referrer, QStringLiteral("http://new.example/list"));
    EXPECT_EQ(LastText(), QStringLiteral("全部网址替换完成！\n1项的新网址与列表中其他项的网址相同，保留了原网址。"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Information);

    // Without a clash the message is the one line.
    typed = {QStringLiteral("A.PDF")};
    Trigger("menu批量替换网址");
    EXPECT_EQ(m_window->Model()->Item(0).key, QStringLiteral("http://new.example/new.example"));
    EXPECT_EQ(LastText(), QStringLiteral("全部网址替换完成！"));
}

// "用记事本打开文件" opens a file of exactly 2048 KB and refuses one byte more.
TEST_F(DownloadMenus, TextViewerSizeLimit) {
    const int row = Add(QStringLiteral("a"), QStringLiteral("文本"), ItemState::Done, QStringLiteral("txt"));
    Select(row);
    Trigger("menu用记事本打开文件");
    EXPECT_EQ(LastText(), QStringLiteral("该文件不存在！"));

    QFile file(m_folder + QStringLiteral("文本.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes = QStringLiteral("第一行\r\n").toUtf8();
    bytes += QByteArray(2048 * 1024 - bytes.size(), 'a');
    file.write(bytes);
    file.close();
    Messages::Clear();
    Trigger("menu用记事本打开文件");
    EXPECT_TRUE(Messages::Shown().isEmpty());
    auto *viewer = m_window->findChild<TextViewerWindow *>(QStringLiteral("TextViewer"));
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->Text().startsWith(QStringLiteral("第一行\n")));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("文本.txt-Docharvest"));
    delete viewer;

    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("b");
    file.close();
    Trigger("menu用记事本打开文件");
    EXPECT_EQ(LastText(), QStringLiteral("该文件太大，超过了2M，不便于用记事本打开！"));
    EXPECT_EQ(m_window->findChild<TextViewerWindow *>(QStringLiteral("TextViewer")), nullptr);

    // Code page 936 text that is not UTF-8 still reads.
    EXPECT_EQ(TextViewerWindow::Decode(QByteArray("\xd6\xd0\xce\xc4")), QStringLiteral("中文"));
}

TEST_F(DownloadMenus, ExportNames) {
    const QString path = m_folder + QStringLiteral("names.txt");
    Trigger("menu导出名称.全部");
    EXPECT_TRUE(Messages::Shown().isEmpty()) << "an empty list asks for nothing";

    Add(QStringLiteral("a"), QStringLiteral("甲"), ItemState::Done);
    Add(QStringLiteral("b"), QStringLiteral("乙"), ItemState::Done);
    Messages::QueueAnswer(path);
    Trigger("menu导出名称.全部");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QStringLiteral("甲\r\n乙\r\n").toUtf8());
    file.close();

    // All done: the unfinished ones make an empty file, replacing the old one.
    Messages::QueueAnswer(path);
    Trigger("menu导出名称.未完成项");
    EXPECT_EQ(QFileInfo(path).size(), 0);

    Messages::QueueAnswer(m_folder + QStringLiteral("missing/names.txt"));
    Trigger("menu导出名称.全部");
    ASSERT_TRUE(Messages::Last());
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
}

// With automatic re-download ticked, the supervisor re-queues failed items
// through the real operation (addresses rotated) and turns the scheduler on.
TEST_F(DownloadMenus, AutomaticRedownloadRunsTheRealOperations) {
    const int failed = Add(QStringLiteral("http://127.0.0.1:9/a.pdf|http://127.0.0.1:9/b.pdf"), QStringLiteral("a"),
                           ItemState::Failed);
    const int page = Add(QStringLiteral("http://127.0.0.1:9/p"), QStringLiteral("p"), ItemState::Done,
                         QStringLiteral("html"));
    m_window->findChild<QCheckBox *>(QStringLiteral("Check3"))->setChecked(true);
    m_window->SupervisorTick();
    const DownloadItem &item = m_window->Model()->Item(failed);
    EXPECT_EQ(item.state, ItemState::Waiting);
    EXPECT_EQ(item.key, QStringLiteral("http://127.0.0.1:9/b.pdf|http://127.0.0.1:9/a.pdf"));
    EXPECT_EQ(m_window->Model()->Item(page).state, ItemState::Done);
    EXPECT_TRUE(m_window->SchedulerOn());
    m_window->StopDownloading();

    m_window->findChild<QComboBox *>(QStringLiteral("Combo4"))->setCurrentIndex(1);
    m_window->findChild<QCheckBox *>(QStringLiteral("Check3"))->setChecked(true);
    m_window->SupervisorTick();
    EXPECT_EQ(m_window->Model()->Item(page).state, ItemState::Waiting);
    EXPECT_EQ(m_window->Model()->Item(page).type, QStringLiteral("xxx"));
}

} // namespace
} // namespace dh
