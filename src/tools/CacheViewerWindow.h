#pragma once
// The cache viewer (fIEcache): the embedded browser's cached entries, or the
// files of every user's cache folders, with deletion and copying out. Opened
// hidden, the same window is the engine of "clear the whole browser cache".
#include "net/BrowserCache.h"
#include "tools/CacheViewerRules.h"

#include <QDialog>
#include <QStringList>

#include <optional>

class QLabel;
class QModelIndex;
class QTreeView;
class QTreeWidget;

namespace dh {

class CacheListModel;

class CacheViewerWindow : public QDialog {
    Q_OBJECT
public:
    static inline const QString MyCacheMode = QStringLiteral("我的缓存");
    static inline const QString AllCachesMode = QStringLiteral("所有缓存");

    explicit CacheViewerWindow(QWidget *parent = nullptr);
    ~CacheViewerWindow() override;

    // Seams: another cache, or other users than the machine's.
    void SetCache(const BrowserCache &cache) { m_cache = cache; }
    void SetUserHomes(const QList<UserHome> &homes) { m_userHomes = homes; }

    // View my cache (Command1).
    void GetCacheURLList();
    void 判断文件在缓存中文件路径();
    // View all users (Command7).
    void ViewAllUsers();
    // Command2 (selected rows) and Command3 (all rows).
    void DeleteRows(bool selectedOnly);
    // Deletes a file of the cache folders this window listed; anything
    // outside them is left alone.
    void 强制删除(const QString &path);
    void 删除空文件夹();
    void noteExportRoot();
    // Command6: the copy window with the selected rows' files.
    void CopySelected();

    QString ListMode() const { return m_listMode; }
    CacheListModel *Model() const { return m_model; }

private:
    void setListMode(const QString &mode);
    void setCountLabel(bool failed = false);
    void fitColumns();
    void openRow(const QModelIndex &index);
    QList<int> selectedRows() const;
    // The row's file as a real file (a cache entry's body is written now).
    QString materialize(int row);

    BrowserCache m_cache;
    std::optional<QList<UserHome>> m_userHomes;
    QString m_listMode;
    QStringList m_userFolders;  // the users' folders of the last all-users view
    QStringList m_cacheFolders; // every subfolder of the users' cache folders
    QStringList m_userCacheFolders;
    // The folders deletes may happen below, as they were when listed (no links).
    QStringList m_deleteRoots;
    QString m_exportRoot; // the export folder as it was when listed

    CacheListModel *m_model = nullptr;
    QTreeView *m_list = nullptr;
    QTreeWidget *m_users = nullptr;
    QTreeWidget *m_folders = nullptr;
    QLabel *m_count = nullptr;
};

// The program-wide operation: view my cache, delete all, view all users,
// delete all, then the engine's own clear. With `report`, "IE缓存清空完毕！".
void ClearWholeBrowserCache(bool report, QWidget *parent = nullptr);

// Registers the cache viewer and the cache clear with the window hub.
void RegisterToolWindows();

} // namespace dh
