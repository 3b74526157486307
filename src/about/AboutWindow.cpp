#include "about/AboutWindow.h"

#include "about/AboutResources.h"
#include "about/SystemInfoWindow.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace dh {

AboutWindow::AboutWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setWindowTitle(QStringLiteral("关于『") + AppTitle() + QStringLiteral("』 "));

    auto *picture = Named(new QLabel(this), "picIcon");
    picture->setPixmap(AppPicture(64));
    auto *name = Named(new QLabel(AppTitle(), this), "lsoftname");
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    name->setFont(big);
    auto *version = Named(new QLabel(QStringLiteral("版本 ") + VersionText(), this), "lblVersion");
    auto *description = Named(new QLabel(QStringLiteral("网络文档批量搜索与下载"), this), "lblDescription");
    auto *folder = Named(new QLabel(QStringLiteral("数据文件夹：") + ProgramFolder(), this), "lblDataFolder");
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folder->setWordWrap(true);

    auto *text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(description);
    text->addWidget(folder);
    const QString site = PublisherUrl().trimmed();
    if (!site.isEmpty()) {
        auto *web = Named(new QLabel(this), "lblWeb");
        web->setText(QStringLiteral("网址：<a href=\"%1\">%1</a>").arg(site.toHtmlEscaped()));
        connect(web, &QLabel::linkActivated, this, [](const QString &link) { OpenWebAddress(link, false); });
        text->addWidget(web);
    }
    text->addStretch();

    auto *ok = Named(new QPushButton(QStringLiteral("确定"), this), "cmdOK");
    ok->setDefault(true);
    auto *sysInfo = Named(new QPushButton(QStringLiteral("系统信息(&S)..."), this), "cmdSysInfo");
    sysInfo->setAutoDefault(false);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    buttons->addStretch();

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, [this] { StartSysInfo(this); });
}

bool GetKeyValue(const QString &keyName, const QString &valueName, QString *value)
{
    value->clear();
#ifdef Q_OS_WIN
    const QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyName, QSettings::NativeFormat);
    if (key.status() != QSettings::NoError || !key.contains(valueName))
        return false;
    *value = key.value(valueName).toString();
    if (value->endsWith(QChar(0)))
        value->chop(1);
    return true;
#else
    Q_UNUSED(keyName);
    Q_UNUSED(valueName);
    return false;
#endif
}

void AboutWindow::StartSysInfo(QWidget *owner)
{
#ifdef Q_OS_WIN
    const QString unavailable = QStringLiteral("此时系统信息不可用");
    QString program;
    if (!GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), &program)) {
        QString folder;
        if (GetKeyValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"), &folder)
            && FileExists(folder + QStringLiteral("\\MSINFO32.EXE")))
            program = folder + QStringLiteral("\\MSINFO32.EXE");
    }
    if (program.isEmpty() || !QProcess::startDetached(program, {})) {
        Messages::Show(owner, unavailable, MsgIcon::None);
        return;
    }
#else
    // No system information program exists here; the program shows its own.
    QPointer<SystemInfoWindow> window = new SystemInfoWindow(owner);
    Messages::RunModal(window);
    delete window.data();
#endif
}

} // namespace dh
