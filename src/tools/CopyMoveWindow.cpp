#include "tools/CopyMoveWindow.h"

#include "tools/FolderHistory.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"
#include "util/Wait.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dh {
namespace {
bool sameFolder(const QString &a, const QString &b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
#ifdef Q_OS_WIN
    return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
#else
    return QDir::cleanPath(a) == QDir::cleanPath(b);
#endif
}
} // namespace

CopyMoveWindow::CopyMoveWindow(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form_Copy_Move"));
    setModal(true);

    auto *folderLabel = Named(new QLabel(QStringLiteral("目的文件夹："), this), "Label1");
    m_folder = Named(new QComboBox(this), "Combo1");
    m_folder->setEditable(true);
    m_folder->setInsertPolicy(QComboBox::NoInsert);
    m_folder->setMinimumContentsLength(40);
    auto *browseButton = Named(new QPushButton(QStringLiteral("浏览"), this), "Command3");
    browseButton->setAutoDefault(false);

    auto *frame = Named(new QGroupBox(QStringLiteral("如果同名文件已经存在"), this), "Frame1");
    auto *frameLayout = new QVBoxLayout(frame);
    m_rules = new QButtonGroup(this);
    const QString captions[] = {QStringLiteral("跳过"), QStringLiteral("覆盖"), QStringLiteral("自动重命名"),
                                QStringLiteral("文件大小和修改时间均相同：覆盖；否则：自动重命名"),
                                QStringLiteral("文件大小相同：覆盖；否则：自动重命名")};
    for (int index = 1; index <= 5; ++index) {
        auto *option = Named(new QRadioButton(captions[index - 1], frame), "Option1");
        option->setProperty("index", index);
        m_rules->addButton(option, index);
        frameLayout->addWidget(option);
    }
    m_rules->button(4)->setChecked(true);

    auto *currentLabel = Named(new QLabel(QStringLiteral("当前文件："), this), "Label4");
    m_current = Named(new QLabel(this), "Label3");
    m_current->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *progressLabel = Named(new QLabel(QStringLiteral("进度;"), this), "Label2");
    m_progress = Named(new QProgressBar(this), "ProgressBar1");
    m_progress->setValue(0);
    m_start = Named(new QPushButton(StartText, this), "Command1");
    m_start->setAutoDefault(false);
    auto *closeButton = Named(new QPushButton(QStringLiteral("关闭"), this), "Command2");
    closeButton->setAutoDefault(false);

    auto *grid = new QGridLayout(this);
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folder, 0, 1);
    grid->addWidget(browseButton, 0, 2);
    grid->addWidget(frame, 1, 0, 1, 3);
    grid->addWidget(currentLabel, 2, 0);
    grid->addWidget(m_current, 2, 1, 1, 2);
    grid->addWidget(progressLabel, 3, 0);
    grid->addWidget(m_progress, 3, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_start);
    buttons->addWidget(closeButton);
    grid->addLayout(buttons, 4, 0, 1, 3);

    connect(m_rules, &QButtonGroup::idClicked, this, [this](int index) { m_ruleIndex = index; });
    connect(browseButton, &QPushButton::clicked, this, &CopyMoveWindow::browse);
    connect(m_start, &QPushButton::clicked, this, [this] { 执行(true); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    // Load.
    setWindowTitle(QStringLiteral("复制文件..."));
    LoadFolderHistory(m_folder);
    m_destination = Settings::ReadOr(Keys::CopyDestination, ProgramFolder());
    WidenDropDown(m_folder);
    m_folder->setEditText(m_destination);
    m_ruleIndex = static_cast<int>(CopyRuleFromIndex(ToIntOr(Settings::Read(Keys::CopyRule), 4)));
    m_rules->button(m_ruleIndex)->setChecked(true);
}

CopyMoveWindow::~CopyMoveWindow() = default;

void CopyMoveWindow::browse() {
    const QString chosen =
        BrowseForFolder(this, m_folder->currentText(), QStringLiteral("请选择要浏览的文件夹:"));
    if (!chosen.trimmed().isEmpty())
        m_folder->setEditText(WithTrailingSeparator(chosen));
}

bool CopyMoveWindow::prepare() {
    QString folder = m_folder->currentText();
    folder = folder.trimmed().isEmpty() ? QString() : CreateFolderPath(folder);
    m_folder->setEditText(folder);
    if (folder.isEmpty()) {
        Messages::Show(this, QStringLiteral("创建文件夹出错！"), MsgIcon::Error);
        return false;
    }
    folder = WithTrailingSeparator(folder);
    m_folder->setEditText(folder);
    m_destination = folder;
    Settings::Write(Keys::CopyDestination, m_destination);
    Settings::Write(Keys::CopyRule, m_ruleIndex);

    const QString trimmed = folder.trimmed();
    bool listed = false;
    for (int i = 0; i < m_folder->count() && !listed; ++i)
        listed = m_folder->itemText(i).compare(trimmed, Qt::CaseInsensitive) == 0;
    if (!listed)
        m_folder->addItem(trimmed);
    m_folder->setEditText(folder);
    SaveFolderHistory(m_folder);

    m_current->clear();
    for (qsizetype i = 0; i < m_sources.size();) {
        if (QFileInfo(m_sources.at(i)).isFile())
            ++i;
        else
            m_sources.removeAt(i);
    }
    return true;
}

void CopyMoveWindow::copyOne(const QString &source) {
    const CopyNameParts parts = SplitCopyName(source);
    if (sameFolder(parts.folder.isEmpty() ? QStringLiteral(".") : parts.folder, m_destination))
        return; // already there: never copied onto itself
    const QString name =
        parts.extension.isEmpty() ? parts.base : parts.base + QLatin1Char('.') + parts.extension;
    m_current->setText(name);
    YieldEvents();
    const QString target = QDir::toNativeSeparators(QDir(m_destination).filePath(name));
    switch (DecideCopy(CopyRuleFromIndex(m_ruleIndex), source, target)) {
    case CopyAction::Copy:
        CopyFileResponsive(source, target, false);
        break;
    case CopyAction::Skip:
        break;
    case CopyAction::Overwrite:
        // The old file is replaced only by a complete copy.
        CopyFileResponsive(source, target, true);
        break;
    case CopyAction::Rename:
        复制相同文件自动重命名(source, m_destination);
        break;
    }
}

void CopyMoveWindow::执行(bool report) {
    if (!prepare() || m_sources.isEmpty())
        return;
    if (m_start->text() != StartText) {
        // Pressed during a run: the run skips the rest and ends as usual.
        m_start->setText(StartText);
        m_running = false;
        return;
    }
    m_start->setText(StopText);
    m_running = true;
    m_progress->setMaximum(int(m_sources.size()) + 1);
    m_progress->setValue(0);
    // A stop press runs the steps above again, which may drop sources.
    const QStringList sources = m_sources;
    for (int i = 1; i <= sources.size(); ++i) {
        if (!m_running)
            continue;
        m_progress->setValue(i);
        copyOne(sources.at(i - 1));
    }
    m_running = false;
    m_progress->setValue(0);
    m_current->clear();
    m_start->setText(StartText);
    if (report)
        Messages::Show(this, QStringLiteral("复制文件完成！"), MsgIcon::Information);
    if (m_closeWhenIdle)
        close();
}

void CopyMoveWindow::closeEvent(QCloseEvent *event) {
    if (m_running) {
        // The run is below us on the stack: stop it and close once it has ended.
        m_running = false;
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    m_sources.clear();
    QDialog::closeEvent(event);
}

void CopyMoveWindow::reject() {
    if (m_running) {
        m_running = false;
        m_closeWhenIdle = true;
        return;
    }
    QDialog::reject();
}

} // namespace dh
