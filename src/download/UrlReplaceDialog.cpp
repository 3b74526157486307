#include "download/UrlReplaceDialog.h"

#include "util/DesktopHelpers.h"
#include "util/Messages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace dh {

UrlReplaceDialog::UrlReplaceDialog(Replace replace, QWidget *parent) : QDialog(parent), m_replace(std::move(replace)) {
    setObjectName(QStringLiteral("UrlReplace"));
    setWindowTitle(DialogCaption(QStringLiteral("网址批量替换")));
    auto *layout = new QGridLayout(this);
    m_text1 = Named(new QLineEdit(this), "Text1");
    m_text2 = Named(new QLineEdit(this), "Text2");
    layout->addWidget(Named(new QLabel(QStringLiteral("所有网址中的字符串："), this), "Label1"), 0, 0);
    layout->addWidget(m_text1, 1, 0);
    layout->addWidget(Named(new QLabel(QStringLiteral("将被全部替换为字符串："), this), "Label2"), 2, 0);
    layout->addWidget(m_text2, 3, 0);
    auto *buttons = new QHBoxLayout;
    auto *command1 = Named(new QPushButton(QStringLiteral("替换"), this), "Command1");
    auto *command2 = Named(new QPushButton(QStringLiteral("取消"), this), "Command2");
    command1->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(command1);
    buttons->addWidget(command2);
    layout->addLayout(buttons, 4, 0);
    setMinimumWidth(420);
    connect(command1, &QPushButton::clicked, this, &UrlReplaceDialog::replaceClicked);
    connect(command2, &QPushButton::clicked, this, &QDialog::reject);
}

void UrlReplaceDialog::replaceClicked() {
    if (m_text1->text().trimmed().isEmpty()) {
        Messages::Show(this, QStringLiteral("请输入字符串！"), MsgIcon::Error);
        return;
    }
    // Used as typed: spaces at either end are part of the texts.
    if (m_replace && m_replace(m_text1->text(), m_text2->text()))
        accept();
}

} // namespace dh
