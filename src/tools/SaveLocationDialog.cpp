#include "tools/SaveLocationDialog.h"

#include "tools/FolderHistory.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace dh
{

SaveLocationDialog::SaveLocationDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fSeleFileSavePath"));
    setWindowTitle(DialogCaption(QStringLiteral("选择下载保存路径")));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(true);

    auto *folderLabel = new QLabel(QStringLiteral("保存到文件夹："), this);
    folderLabel->setObjectName(QStringLiteral("Label1"));
    m_folder = new QComboBox(this);
    m_folder->setObjectName(QStringLiteral("Combo1"));
    m_folder->setEditable(true);
    // Enter confirms the dialog; it must not add the text to the history.
    m_folder->setInsertPolicy(QComboBox::NoInsert);
    m_folder->setMinimumContentsLength(40);
    m_folder->setEditText(QDir::toNativeSeparators(QDir::rootPath()));
    auto *browseButton = new QPushButton(QStringLiteral("..."), this);
    browseButton->setObjectName(QStringLiteral("Command1"));
    browseButton->setAutoDefault(false);

    auto *nameLabel = new QLabel(QStringLiteral("保存文件名为："), this);
    nameLabel->setObjectName(QStringLiteral("Label3"));
    m_originalName = new QRadioButton(QStringLiteral("原文件名"), this);
    m_originalName->setObjectName(QStringLiteral("Option1"));
    m_titleName = new QRadioButton(QStringLiteral("文章标题名称"), this);
    m_titleName->setObjectName(QStringLiteral("Option2"));
    m_titleName->setChecked(true);

    auto *okButton = new QPushButton(QStringLiteral("确定"), this);
    okButton->setObjectName(QStringLiteral("Command2"));
    okButton->setDefault(true);
    auto *cancelButton = new QPushButton(QStringLiteral("取消"), this);
    cancelButton->setObjectName(QStringLiteral("Command3"));
    cancelButton->setAutoDefault(false);

    auto *grid = new QGridLayout(this);
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folder, 0, 1);
    grid->addWidget(browseButton, 0, 2);
    auto *options = new QHBoxLayout;
    options->addWidget(m_originalName);
    options->addWidget(m_titleName);
    options->addStretch();
    grid->addWidget(nameLabel, 1, 0);
    grid->addLayout(options, 1, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    grid->addLayout(buttons, 2, 0, 1, 3);

    connect(browseButton, &QPushButton::clicked, this, &SaveLocationDialog::browse);
    connect(okButton, &QPushButton::clicked, this, &SaveLocationDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &SaveLocationDialog::cancel);

    // Load: the choices of this run, the history, then the stored folder.
    if (Shared().useOriginalFileName)
        m_originalName->setChecked(true);
    LoadFolderHistory(m_folder);
    Shared().downloadFolder = Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder());
    m_folder->setEditText(Shared().downloadFolder);
    WidenDropDown(m_folder);
    raise();
}

bool SaveLocationDialog::Ask(QWidget *parent)
{
    SaveLocationDialog dialog(parent);
    Messages::RunModal(&dialog);
    return !Shared().saveLocationCancelled;
}

void SaveLocationDialog::browse()
{
    m_folder->setEditText(
        BrowseForFolder(this, m_folder->currentText(), QStringLiteral("请选择要浏览的文件夹:")));
}

void SaveLocationDialog::confirm()
{
    Shared().useOriginalFileName = m_originalName->isChecked();
    QString folder = m_folder->currentText();
    // An empty box is an error; on POSIX the lone separator would be the root.
    if (!folder.trimmed().isEmpty())
        folder = CreateFolderPath(WithTrailingSeparator(folder));
    else
        folder.clear();
    m_folder->setEditText(folder);
    if (folder.isEmpty()) {
        Messages::Show(this, QStringLiteral("文件夹设置错误！"), MsgIcon::Error);
        return;
    }
    Shared().downloadFolder = WithTrailingSeparator(folder);
    Settings::Write(Keys::DownloadFolder, Shared().downloadFolder);
    Shared().saveLocationCancelled = false;
    m_folder->addItem(folder.trimmed());
    SaveFolderHistory(m_folder);
    accept();
}

void SaveLocationDialog::cancel()
{
    Shared().saveLocationCancelled = true;
    reject();
}

} // namespace dh
