#include "tools/CacheViewerWindow.h"

#include "tools/CacheListModel.h"
#include "tools/CopyMoveWindow.h"
#include "util/DesktopHelpers.h"
#include "util/ListColumns.h"
#include "util/Messages.h"
#include "util/RemoveBelow.h"
#include "util/WindowHub.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace dh {
namespace {
QTreeWidget *smallList(QWidget *parent, const char *name, const QStringList &columns) {
    auto *list = Named(new QTreeWidget(parent), name);
    list->setColumnCount(int(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    return list;
}
} // namespace

CacheViewerWindow::CacheViewerWindow(QWidget *parent) : QDialog(parent), m_cache(BrowserCache::ForProfile()) {
    setObjectName(QStringLiteral("fIEcache"));
    setWindowTitle(DialogCaption(QStringLiteral("IE浏览器Cookie 缓存和历史列表")));
    setModal(true);
    resize(900, 600);

    m_model = new CacheListModel(this);
    m_list = Named(new QTreeView(this), "ListView1");
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setSortIndicatorShown(false);
    connect(m_list->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_model->ClickSort(column); });
    connect(m_list, &QTreeView::doubleClicked, this, &CacheViewerWindow::openRow);

    m_users = smallList(this, "ListView2", {QStringLiteral("用户名"), QStringLiteral("文件夹")});
    m_folders = smallList(this, "ListView3", {QStringLiteral("文件夹")});
    m_count = Named(new QLabel(this), "Label1");

    auto button = [this](const QString &text, const char *name) {
        auto *b = Named(new QPushButton(text, this), name);
        b->setAutoDefault(false);
        return b;
    };
    QPushButton *mine = button(QStringLiteral("查看我的缓存"), "Command1");
    QPushButton *all = button(QStringLiteral("查看所有用户缓存"), "Command7");
    QPushButton *deleteSelected = button(QStringLiteral("删除所选文件"), "Command2");
    QPushButton *deleteAll = button(QStringLiteral("全部删除"), "Command3");
    QPushButton *copy = button(QStringLiteral("复制选中..."), "Command6");
    QPushButton *close = button(QStringLiteral("关闭"), "Command4");

    auto *lower = new QSplitter(Qt::Horizontal, this);
    lower->addWidget(m_users);
    lower->addWidget(m_folders);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(lower);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_count, 1);
    for (QPushButton *b : {mine, all, deleteSelected, deleteAll, copy, close})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(mine, &QPushButton::clicked, this, &CacheViewerWindow::GetCacheURLList);
    connect(all, &QPushButton::clicked, this, &CacheViewerWindow::ViewAllUsers);
    connect(deleteSelected, &QPushButton::clicked, this, [this] { DeleteRows(true); });
    connect(deleteAll, &QPushButton::clicked, this, [this] { DeleteRows(false); });
    connect(copy, &QPushButton::clicked, this, &CacheViewerWindow::CopySelected);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

CacheViewerWindow::~CacheViewerWindow() = default;

void CacheViewerWindow::setListMode(const QString &mode) {
    m_listMode = mode;
    m_list->setProperty("Tag", mode);
}

void CacheViewerWindow::setCountLabel(bool failed) {
    m_count->setText((failed ? QStringLiteral("出错!!!共有") : QStringLiteral("共有")) +
                     QString::number(m_model->Count()) + QStringLiteral(" 个文件"));
}

void CacheViewerWindow::fitColumns() {
    AutoSizeColumns(m_list, ColumnWidth::FitHeaderAndContents);
    AutoSizeColumns(m_users, ColumnWidth::FitHeaderAndContents);
    AutoSizeColumns(m_folders, ColumnWidth::FitHeaderAndContents);
}

void CacheViewerWindow::GetCacheURLList() {
    m_model->Clear();
    QList<CacheEntry> entries;
    const bool ok = m_cache.Enumerate(&entries);
    QList<CacheRow> rows;
    rows.reserve(entries.size());
    for (const CacheEntry &entry : entries) {
        if (entry.typeBits & kNormalCacheEntry)
            rows.append({entry.address, CacheTypeOf(entry.address), {}, {}});
    }
    m_model->Append(rows);
    noteExportRoot();
    m_deleteRoots = {m_exportRoot};
    if (!ok) {
        setCountLabel(true);
        return;
    }
    setCountLabel();
    判断文件在缓存中文件路径();
    fitColumns();
    setListMode(MyCacheMode);
}

void CacheViewerWindow::判断文件在缓存中文件路径() {
    for (int row = 0; row < m_model->Count(); ++row) {
        const std::optional<CacheEntry> entry = m_cache.Lookup(m_model->Row(row).url);
        if (entry && !entry->localFile.isEmpty())
            m_model->SetFile(row, entry->localFile, entry->size);
        else
            m_model->SetFile(row, {}, -1);
    }
}

void CacheViewerWindow::ViewAllUsers() {
    m_model->Clear();
    m_userFolders.clear();
    m_cacheFolders.clear();
    m_userCacheFolders.clear();
    m_users->clear();
    m_folders->clear();

    const QList<UserHome> homes = m_userHomes ? *m_userHomes : SystemUserHomes();
    for (const UserHome &home : homes)
        m_userFolders.append(home.home);
    const QList<UserCacheFolder> caches = FindUserCacheFolders(homes, ProgramCacheSubPaths());
    for (const UserCacheFolder &cache : caches) {
        new QTreeWidgetItem(m_users, {cache.user, cache.folder});
        m_userCacheFolders.append(cache.folder);
        ListFolders(cache.folder, &m_cacheFolders, true);
    }
    for (const QString &folder : std::as_const(m_cacheFolders)) {
        if (!folder.isEmpty())
            new QTreeWidgetItem(m_folders, {folder});
    }
    QList<CacheRow> rows;
    for (const UserCacheFolder &cache : caches) {
        QStringList files;
        ListFiles(cache.folder, &files, true);
        for (const QString &file : std::as_const(files)) {
            const QFileInfo info(file);
            const QString size = info.isSymLink() ? QString() : QString::number(info.size());
            rows.append({kUserRowPrefix + cache.user, CacheTypeOf(file), size, file});
        }
    }
    m_model->Append(rows);
    noteExportRoot();
    m_deleteRoots = m_userCacheFolders;
    m_deleteRoots.append(m_exportRoot);
    setCountLabel();
    fitColumns();
    setListMode(AllCachesMode);
}

QList<int> CacheViewerWindow::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &index : m_list->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CacheViewerWindow::DeleteRows(bool selectedOnly) {
    QList<int> rows;
    if (selectedOnly) {
        rows = selectedRows();
    } else {
        for (int row = 0; row < m_model->Count(); ++row)
            rows.append(row);
    }
    for (int row : std::as_const(rows)) {
        const CacheRow cacheRow = m_model->Row(row);
        if (cacheRow.url.startsWith(kUserRowPrefix)) {
            // Text files of the users' folders are never deleted this way.
            if (!cacheRow.filePath.isEmpty() && cacheRow.type.toLower() != QLatin1String("txt"))
                强制删除(cacheRow.filePath);
            continue;
        }
        if (cacheRow.url.isEmpty() || cacheRow.url.contains(QLatin1String("cookie"), Qt::CaseInsensitive))
            continue;
        m_cache.Delete(cacheRow.url);
        if (!cacheRow.filePath.isEmpty())
            强制删除(cacheRow.filePath);
    }
    删除空文件夹();
    if (m_listMode == MyCacheMode)
        GetCacheURLList();
    else if (m_listMode == AllCachesMode)
        ViewAllUsers();
}

void CacheViewerWindow::noteExportRoot() {
    m_exportRoot = QFileInfo(m_cache.ExportFolder()).canonicalFilePath();
}

void CacheViewerWindow::强制删除(const QString &path) {
    // Rows name files, but only files of the cache folders are ever deleted.
    // The export folder's files are named as the cache writes its path; they
    // are deleted through the folder it was when listed.
    const QString written = m_cache.ExportFolder();
    if (!m_exportRoot.isEmpty() && IsWrittenBelow(path, written))
        ForceDeleteFile(m_deleteRoots,
                        m_exportRoot + QLatin1Char('/') + QDir(written).relativeFilePath(path));
    else
        ForceDeleteFile(m_deleteRoots, path);
}

void CacheViewerWindow::删除空文件夹() {
    // The running engine keeps writing into its own folders; they stay.
    RemoveEmptyFolders(m_cacheFolders, m_cache.CacheFolder(), m_deleteRoots);
}

QString CacheViewerWindow::materialize(int row) {
    const CacheRow &cacheRow = m_model->Row(row);
    if (cacheRow.filePath.isEmpty() || cacheRow.url.startsWith(kUserRowPrefix))
        return cacheRow.filePath;
    // Bodies are inflated here, not when listed: one that does not decode (or
    // passes the cap) shows then that it is no document.
    const QString path = m_cache.Materialize(cacheRow.url);
    if (path.isEmpty())
        m_model->SetFile(row, {}, -1);
    else
        m_model->SetFile(row, path, QFileInfo(path).size());
    return path;
}

void CacheViewerWindow::CopySelected() {
    QPointer<CopyMoveWindow> copy = new CopyMoveWindow(this);
    copy->SetCopyMode();
    int added = 0;
    for (int row : selectedRows()) {
        const QString path = materialize(row);
        if (path.isEmpty())
            continue;
        copy->AddSource(path);
        ++added;
    }
    copy->setWindowTitle(QStringLiteral("复制文件：") + QString::number(added) +
                         QStringLiteral(" 个文件..."));
    Messages::RunModal(copy);
    delete copy.data();
}

void CacheViewerWindow::openRow(const QModelIndex &index) {
    if (!index.isValid())
        return;
    const QString path = materialize(index.row());
    if (!path.isEmpty())
        OpenWithDesktop(path, this);
}

void ClearWholeBrowserCache(bool report, QWidget *parent) {
    // The engine's clear waits in the event loop, where a timer may ask again.
    static bool clearing = false;
    if (clearing)
        return;
    clearing = true;
    {
        CacheViewerWindow viewer(parent);
        viewer.GetCacheURLList();
        viewer.DeleteRows(false);
        viewer.ViewAllUsers();
        viewer.DeleteRows(false);
    }
    BrowserCache::ForProfile().ClearExports();
    BrowserCache::ClearEngineCache();
    clearing = false;
    if (report)
        Messages::Show(parent, QStringLiteral("IE缓存清空完毕！"), MsgIcon::Information);
}

void RegisterToolWindows() {
    WindowHub::Register(WindowHub::Action::OpenCacheViewer, [](QWidget *caller) {
        // The window belongs to this call: a caller that goes away meanwhile takes it along safely.
        QPointer<CacheViewerWindow> viewer = new CacheViewerWindow(caller);
        Messages::RunModal(viewer);
        delete viewer.data();
    });
    WindowHub::SetCacheClearer([](bool report) { ClearWholeBrowserCache(report); });
}

} // namespace dh
