#include "about/RightsHelpWindow.h"

#include "about/AboutResources.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dh {

RightsHelpWindow::RightsHelpWindow(const QString &executableName, const QString &osDescription, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Net352"));
    setModal(true);
    setWindowTitle(DialogCaption(QStringLiteral("软件权限设置方法")));

    auto *name = Named(new QLabel(executableName, this), "Label1");
    QFont big = name->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    name->setFont(big);
    auto *system = Named(new QLabel(QStringLiteral("您的操作系统是：") + osDescription, this), "Label2");
    system->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *steps = Named(new QLabel(QStringLiteral("请找到安装本软件的目标文件夹，选中") + executableName
                                       + QStringLiteral(".exe文件，右击鼠标，弹出菜单，点击“属性”，弹出属性窗口，"
                                                        "切换到“兼容性”页标签，按照以下图片设置，点击确定。"),
                                   this),
                        "Label3");
    steps->setWordWrap(true);
    auto *picture = Named(new QLabel(this), "Image1");
    picture->setPixmap(RightsSettingsPicture());
    picture->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(system);
    layout->addWidget(steps);
#ifndef Q_OS_WIN
    // The steps above are for Windows; here the program needs no extra rights.
    auto *here = Named(new QLabel(QStringLiteral("（以上设置仅适用于 Windows。在本系统上，本软件以普通用户身份运行即可，"
                                                 "不需要另外设置权限。）"),
                                  this),
                       "Label4");
    here->setWordWrap(true);
    layout->addWidget(here);
#endif
    layout->addWidget(picture);
    auto *ok = Named(new QPushButton(QStringLiteral("确定"), this), "Command1");
    ok->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    setMinimumWidth(picture->pixmap().width() + 40);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace dh
