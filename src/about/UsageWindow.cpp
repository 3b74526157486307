#include "about/UsageWindow.h"

#include "about/AboutResources.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dh {

UsageWindow::UsageWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fUse"));
    setModal(true);
    setWindowTitle(DialogCaption(QStringLiteral("使用说明、技巧和注意事项")));

    auto *text = Named(new QPlainTextEdit(this), "Text1");
    text->setReadOnly(true);
    text->setPlainText(UsageNotes());
    auto *close = Named(new QPushButton(QStringLiteral("关闭"), this), "Command1");
    close->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
    resize(720, 560);

    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace dh
