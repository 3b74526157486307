#include "about/SystemInfoWindow.h"

#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>

namespace dh {
namespace {

// The first "<key> : value" line of a /proc text file; empty when absent.
QString procValue(const QString &file, const QString &key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString text = QString::fromUtf8(f.read(1 << 20));
    const QRegularExpression line(QStringLiteral("^") + QRegularExpression::escape(key)
                                      + QStringLiteral("\\s*:\\s*(.*)$"),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(text);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

QString memoryText()
{
    auto megabytes = [](const QString &kb) {
        bool ok = false;
        const qint64 value = kb.section(QLatin1Char(' '), 0, 0).toLongLong(&ok);
        return ok ? QString::number(value / 1024) + QStringLiteral(" MB") : QString();
    };
    const QString total = megabytes(procValue(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal")));
    const QString available = megabytes(procValue(QStringLiteral("/proc/meminfo"), QStringLiteral("MemAvailable")));
    if (total.isEmpty())
        return QStringLiteral("未知");
    return available.isEmpty() ? total : total + QStringLiteral("（可用 ") + available + QStringLiteral("）");
}

QString processorText()
{
    QString model = procValue(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"));
    if (model.isEmpty())
        model = QStringLiteral("未知");
    return model + QStringLiteral("，") + QString::number(QThread::idealThreadCount()) + QStringLiteral(" 个逻辑处理器，")
           + QSysInfo::currentCpuArchitecture();
}

} // namespace

QList<QPair<QString, QString>> SystemInfoRows()
{
    return {
        {QStringLiteral("操作系统"), OsDescription()},
        {QStringLiteral("内核"), QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion()},
        {QStringLiteral("处理器"), processorText()},
        {QStringLiteral("内存"), memoryText()},
        {QStringLiteral("程序版本"), AppTitle() + QLatin1Char(' ') + VersionText()},
        {QStringLiteral("Qt 版本"), QString::fromLatin1(qVersion())},
        {QStringLiteral("浏览器引擎"), QStringLiteral("Qt WebEngine ") + QString::fromLatin1(qWebEngineVersion())
                                         + QStringLiteral(" (Chromium ")
                                         + QString::fromLatin1(qWebEngineChromiumVersion()) + QLatin1Char(')')},
        {QStringLiteral("程序文件"), QCoreApplication::applicationFilePath()},
        {QStringLiteral("设置文件"), Settings::Location()},
        {QStringLiteral("数据文件夹"), ProgramFolder()},
        {QStringLiteral("缓存文件夹"), QStandardPaths::writableLocation(QStandardPaths::CacheLocation)},
        {QStringLiteral("浏览器缓存"), InternetCacheFolder()},
    };
}

SystemInfoWindow::SystemInfoWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fSysInfo"));
    setModal(true);
    setWindowTitle(DialogCaption(QStringLiteral("系统信息")));

    const QList<QPair<QString, QString>> rows = SystemInfoRows();
    auto *table = Named(new QTableWidget(int(rows.size()), 2, this), "ListView1");
    table->setHorizontalHeaderLabels({QStringLiteral("项目"), QStringLiteral("值")});
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setWordWrap(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int r = 0; r < rows.size(); ++r) {
        table->setItem(r, 0, new QTableWidgetItem(rows.at(r).first));
        table->setItem(r, 1, new QTableWidgetItem(rows.at(r).second));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto *copy = Named(new QPushButton(QStringLiteral("复制"), this), "Command2");
    copy->setAutoDefault(false);
    auto *close = Named(new QPushButton(QStringLiteral("关闭"), this), "Command1");
    close->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addLayout(buttons);
    resize(760, 420);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(copy, &QPushButton::clicked, this, [rows] {
        QString text;
        for (const auto &[item, value] : rows)
            text += item + QStringLiteral("：") + value + QLatin1Char('\n');
        QApplication::clipboard()->setText(text);
    });
}

} // namespace dh
