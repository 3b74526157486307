#include "support/QtPrinters.h"
#include "util/AppInfo.h"
#include "util/Clock.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QSoundEffect>
#include <QStandardItemModel>
#include <QStyle>
#include <QSysInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace dh;

// Stands in for the desktop: records what would have been opened.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QStringList &schemes) : m_schemes(schemes)
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override
    {
        for (const QString &scheme : m_schemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }

private:
    QStringList m_schemes;
};

namespace {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Messages::Clear();
    }
    QString At(const QString &relative) const
    {
        return QDir::toNativeSeparators(m_dir.path() + QLatin1Char('/') + relative);
    }
    QString Touch(const QString &relative) const
    {
        QFile file(At(relative));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    }
    QTemporaryDir m_dir;
};

QString Sep() { return QString(PathSeparator()); }

} // namespace

TEST_F(DesktopTest, OpenWithDesktopReportsMissingFiles)
{
    UrlRecorder desktop({QStringLiteral("file")});
    OpenWithDesktop(At(QStringLiteral("missing.pdf")), nullptr);
    ASSERT_TRUE(Messages::Last().has_value());
    EXPECT_EQ(Messages::Last()->text, QStringLiteral("文件不存在！"));
    EXPECT_EQ(Messages::Last()->icon, MsgIcon::Error);
    Messages::Clear();
    OpenWithDesktop(m_dir.path(), nullptr); // a folder is no file
    OpenWithDesktop(QString(), nullptr);
    EXPECT_EQ(Messages::Shown().size(), 2);
    EXPECT_TRUE(desktop.opened.isEmpty());
}

TEST_F(DesktopTest, OpenWithDesktopHandsTheFileToTheDesktop)
{
    UrlRecorder desktop({QStringLiteral("file")});
    const QString file = Touch(QStringLiteral("a b.pdf"));
    OpenWithDesktop(file, nullptr);
    EXPECT_TRUE(Messages::Shown().isEmpty());
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(QDir::toNativeSeparators(desktop.opened.first().toLocalFile()), file);
}

TEST_F(DesktopTest, ShowInFolderOpensTheHoldingFolder)
{
    UrlRecorder desktop({QStringLiteral("file")});
    EXPECT_FALSE(ShowInFolder(At(QStringLiteral("missing.pdf"))));
    EXPECT_FALSE(ShowInFolder(m_dir.path()));
    EXPECT_TRUE(desktop.opened.isEmpty());
    const QString file = Touch(QStringLiteral("sub.pdf"));
#ifndef Q_OS_WIN
    EXPECT_TRUE(ShowInFolder(QStringLiteral(" ") + file));
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened.first().toLocalFile(), QDir(m_dir.path()).absolutePath());
#endif
    EXPECT_TRUE(Messages::Shown().isEmpty());
}

TEST(OpenWebAddress, PassesTheAddressToTheDesktop)
{
    UrlRecorder desktop({QStringLiteral("http"), QStringLiteral("https")});
    OpenWebAddress(QStringLiteral(" https://example.org/a?b=1 "), false);
    OpenWebAddress(QStringLiteral("example.org/x"), true);
    OpenWebAddress(QStringLiteral("   "), false);
    OpenWebAddress(QString(), false);
    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened.at(0), QUrl(QStringLiteral("https://example.org/a?b=1")));
    EXPECT_EQ(desktop.opened.at(1), QUrl(QStringLiteral("http://example.org/x")));
}

TEST(SuggestionMail, ComposesSubjectAndBodyForThePublisherHost)
{
    const QUrl mail = SuggestionMailUrl(QStringLiteral("https://www.example.com/shop"));
    ASSERT_TRUE(mail.isValid());
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(mail.path(), QStringLiteral("support@www.example.com"));
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("我要对[") + AppTitle() + QStringLiteral("]提建议"));
    const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
    EXPECT_TRUE(body.startsWith(QStringLiteral("软件名称：") + AppTitle() + QStringLiteral(" 姓名：  ")));
    const QStringList labels{QStringLiteral(" Email："), QStringLiteral(" 联系地址："), QStringLiteral(" 邮编："),
                             QStringLiteral(" 电话：")};
    qsizetype from = 0;
    for (const QString &label : labels) {
        const qsizetype at = body.indexOf(label + QStringLiteral("  "), from);
        EXPECT_GT(at, from) << label.toStdString();
        from = at;
    }
    EXPECT_TRUE(body.endsWith(QStringLiteral(" 日期：") + QDate::currentDate().toString(Qt::ISODate)));

    EXPECT_TRUE(SuggestionMailUrl(QString()).isEmpty());
    EXPECT_TRUE(SuggestionMailUrl(QStringLiteral("  ")).isEmpty());
}

TEST(SuggestionMail, IsSentOnlyWithAPublisher)
{
    UrlRecorder desktop({QStringLiteral("mailto")});
    SendSuggestionMail();
    EXPECT_EQ(desktop.opened.size(), PublisherUrl().isEmpty() ? 0 : 1);
}

namespace {
bool NoSoundEffectLeft() { return qApp->findChildren<QSoundEffect *>().isEmpty(); }
} // namespace

// Program time runs fast here: a machine without an audio device never ends
// a sound, and the effect then lives out its longest lifetime.
TEST(PlayNumberedSound, WritesTheKeptSoundOnceAndPlaysIt)
{
    Clock::SetSpeed(100);
    const QString file = WithTrailingSeparator(ProgramFolder()) + QStringLiteral("101.wav");
    QFile::remove(file);
    PlayNumberedSound(101);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    QFile kept(QStringLiteral(":/sounds/101.wav"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith("RIFF"));
    EXPECT_EQ(bytes, kept.readAll());
    // The effect lives until it is done, then goes away by itself.
    EXPECT_FALSE(NoSoundEffectLeft());
    EXPECT_TRUE(WaitUntil(NoSoundEffectLeft, 60 * Durations::Second));
    Clock::SetSpeed(1);
}

TEST(PlayNumberedSound, KeepsAnExistingFileAndIgnoresUnknownNumbers)
{
    Clock::SetSpeed(100);
    const QString folder = WithTrailingSeparator(ProgramFolder());
    QFile own(folder + QStringLiteral("102.wav"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("not a sound");
    own.close();
    PlayNumberedSound(102);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), QByteArray("not a sound"));
    own.close();
    QFile::remove(own.fileName());

    PlayNumberedSound(999);
    PlayNumberedSound(-1);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("999.wav")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("-1.wav")));
    EXPECT_TRUE(WaitUntil(NoSoundEffectLeft, 60 * Durations::Second));
    Clock::SetSpeed(1);
}

TEST_F(DesktopTest, FolderPickerStartsAtTheParentFolder)
{
    ASSERT_TRUE(QDir().mkpath(At(QStringLiteral("docs/pdf"))));
    const QString docs = At(QStringLiteral("docs")) + Sep();
    EXPECT_EQ(FolderPickerStart(At(QStringLiteral("docs/pdf")) + Sep()), docs);
    EXPECT_EQ(FolderPickerStart(At(QStringLiteral("docs/pdf"))), docs);
    // A parent that does not exist, or nothing at all: the root.
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    EXPECT_EQ(FolderPickerStart(At(QStringLiteral("gone/x"))).toUpper(), root.toUpper());
    EXPECT_EQ(FolderPickerStart(QStringLiteral("  ")).toUpper(), root.toUpper());
    EXPECT_EQ(FolderPickerStart(QStringLiteral("x")).toUpper(), root.toUpper());
}

TEST_F(DesktopTest, BrowseForFolderKeepsTheInitialFolderOnCancel)
{
    const QString initial = At(QStringLiteral("docs/pdf")) + Sep();
    EXPECT_EQ(BrowseForFolder(nullptr, initial, QStringLiteral("请选择要浏览的文件夹:")), initial);
    EXPECT_EQ(BrowseForFolder(nullptr, At(QStringLiteral("docs/pdf")), QString()), initial);
    Messages::QueueAnswer(m_dir.path() + QStringLiteral("/chosen"));
    EXPECT_EQ(BrowseForFolder(nullptr, initial, QString()), At(QStringLiteral("chosen")) + Sep());
}

TEST(IsWindowOpen, FindsLoadedWindowsByName)
{
    auto *window = new QWidget;
    window->setObjectName(QStringLiteral("fFileDownload"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> watch(window);
    EXPECT_TRUE(IsWindowOpen(QStringLiteral("ffiledownload"))); // loaded, not shown yet
    window->show();
    EXPECT_TRUE(IsWindowOpen(QStringLiteral("FFILEDOWNLOAD")));
    window->hide();
    EXPECT_TRUE(IsWindowOpen(QStringLiteral("fFileDownload")));
    EXPECT_FALSE(IsWindowOpen(QStringLiteral("fFileDownload2")));
    EXPECT_FALSE(IsWindowOpen(QString()));

    window->show();
    window->close();
    EXPECT_FALSE(watch.isNull()); // deletion still pending
    EXPECT_FALSE(IsWindowOpen(QStringLiteral("fFileDownload")));
    EXPECT_TRUE(WaitUntil([&] { return watch.isNull(); }, 2000));
    EXPECT_FALSE(IsWindowOpen(QStringLiteral("fFileDownload")));
}

TEST(IsWindowOpen, IgnoresChildWidgets)
{
    QWidget window;
    window.setObjectName(QStringLiteral("fWebSearch"));
    auto *child = new QWidget(&window);
    child->setObjectName(QStringLiteral("fWebSearch2"));
    EXPECT_TRUE(IsWindowOpen(QStringLiteral("fWebSearch")));
    EXPECT_FALSE(IsWindowOpen(QStringLiteral("fWebSearch2")));
}

TEST(IsControlAlive, FollowsTheInstance)
{
    auto *control = new QObject;
    QPointer<QObject> slot(control);
    EXPECT_TRUE(IsControlAlive(slot));
    delete control;
    EXPECT_FALSE(IsControlAlive(slot));
    EXPECT_FALSE(IsControlAlive(nullptr));
}

TEST(WidenDropDown, FitsTheLongestEntry)
{
    QComboBox combo;
    combo.addItems(
        {QStringLiteral("short"), QStringLiteral("一个相当长的下拉列表项目 with text"), QStringLiteral("mid")});
    combo.move(0, 0);
    combo.show();
    const QSize closed = combo.size();
    WidenDropDown(&combo);
    const int text = combo.fontMetrics().horizontalAdvance(combo.itemText(1));
    EXPECT_EQ(combo.view()->minimumWidth(), text + 7);
    EXPECT_EQ(combo.size(), closed);

    // From nine entries on, the scroll bar gets its room.
    for (int i = 0; i < 6; ++i)
        combo.addItem(QString::number(i));
    WidenDropDown(&combo);
    const int bar = combo.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &combo);
    EXPECT_EQ(combo.view()->minimumWidth(), text + 7 + bar);
    WidenDropDown(nullptr);
}

TEST(WidenDropDown, StaysOnTheScreen)
{
    QComboBox combo;
    combo.addItem(QString(400, QLatin1Char('W')));
    combo.show();
    const QRect area = combo.screen()->geometry();
    combo.move(area.x() + area.width() - 120, 10);
    QApplication::processEvents();
    WidenDropDown(&combo);
    const int room = area.x() + area.width() - combo.mapToGlobal(QPoint(0, 0)).x();
    ASSERT_GT(room, 0);
    EXPECT_EQ(combo.view()->minimumWidth(), room);
}

TEST(StripeListRows, AlternatesLightGreenAndWhiteRows)
{
    QStandardItemModel model(4, 2);
    QTableView table;
    table.setModel(&model);
    table.resize(300, 200);
    StripeListRows(&table, 40);
    EXPECT_TRUE(table.alternatingRowColors());
    EXPECT_EQ(table.palette().color(QPalette::Base), QColor(231, 248, 237));
    EXPECT_EQ(table.palette().color(QPalette::AlternateBase), QColor(Qt::white));
    EXPECT_EQ(table.verticalHeader()->defaultSectionSize(), 40);

    // What the user sees: the first row green, the second white.
    table.show();
    QApplication::processEvents();
    const QImage shot = table.viewport()->grab().toImage();
    const int x = table.columnViewportPosition(1) + 5;
    EXPECT_EQ(QColor(shot.pixel(x, table.rowViewportPosition(0) + 20)), QColor(231, 248, 237));
    EXPECT_EQ(QColor(shot.pixel(x, table.rowViewportPosition(1) + 20)), QColor(Qt::white));
}

TEST(StripeListRows, KeepsRowsReadable)
{
    QTableView table;
    StripeListRows(&table, 1);
    EXPECT_GE(table.verticalHeader()->defaultSectionSize(), table.fontMetrics().height());
    QTreeView tree;
    const int before = tree.header()->defaultSectionSize();
    StripeListRows(&tree, 13);
    EXPECT_TRUE(tree.alternatingRowColors());
    EXPECT_EQ(tree.palette().color(QPalette::Base), QColor(231, 248, 237));
    EXPECT_EQ(tree.header()->defaultSectionSize(), before); // column widths stay
    StripeListRows(nullptr, 13);
}

TEST(OsVersion, NamesWindowsFromTheKernelFileVersion)
{
    EXPECT_EQ(WindowsNameFromKernelVersion(QStringLiteral("10.0.19041.1")),
              QStringLiteral("Windows 10.0.19041.1"));
    EXPECT_EQ(WindowsNameFromKernelVersion(QStringLiteral("6.3.9600.17031")),
              QStringLiteral("Windows 8.1 [6.3.9600.17031]"));
    EXPECT_EQ(WindowsNameFromKernelVersion(QStringLiteral("6.1.7601.24545")), QString());
    EXPECT_EQ(WindowsNameFromKernelVersion(QStringLiteral("10.0.19041")), QString());
    EXPECT_EQ(WindowsNameFromKernelVersion(QStringLiteral("x.0.1.2")), QString());
    EXPECT_EQ(WindowsNameFromKernelVersion(QString()), QString());
}

TEST(OsVersion, DescriptionHasTheSharedShape)
{
    const QString description = OsDescription();
    static const QRegularExpression shape(QStringLiteral("^.+ 版本:.* \\(内部版本:.*\\)\\[(32|64)位\\]$"));
    EXPECT_TRUE(shape.match(description).hasMatch()) << description.toStdString();
    EXPECT_TRUE(description.endsWith(QLatin1Char('[') + OsWidthText() + QStringLiteral("位]")));
#ifndef Q_OS_WIN
    EXPECT_EQ(description, OsVersionName() + QLatin1Char('[') + OsWidthText() + QStringLiteral("位]"));
    EXPECT_TRUE(description.startsWith(QSysInfo::prettyProductName() + QStringLiteral(" 版本:")));
    EXPECT_TRUE(
        description.contains(QStringLiteral("(内部版本:") + QSysInfo::kernelVersion() + QLatin1Char(')')));
#endif
}

#include "DesktopHelpersTest.moc"
