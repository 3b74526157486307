#include "download/ListOperations.h"

#include "util/FileHelpers.h"
#include "util/TextCoding.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace dh {

namespace {

const QString kXxx = QStringLiteral("xxx");

bool isType(const QString &type, const char *word) {
    return type.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool flagged(const RowFlags &flags, int row) {
    return row >= 0 && size_t(row) < flags.size() && flags[size_t(row)];
}

// A size column as a number, "," removed.
std::optional<double> columnNumber(QString text) {
    text.remove(QLatin1Char(','));
    return ParseNumber(text);
}

// Re-queues every row `inSet` holds for.
int redownload(DownloadListModel &model, bool allXxx,
               const std::function<bool(int, const DownloadItem &)> &inSet) {
    QSet<QString> assigned; // keys given in this pass
    QSet<QString> vacated;  // keys left in this pass
    const auto taken = [&](const QString &key) {
        return assigned.contains(key) || (model.ContainsKey(key) && !vacated.contains(key));
    };
    return model.EditRows([&](int row, DownloadItem &item) {
        if (!inSet(row, item))
            return false;
        const QString old = item.key;
        RequeueForRedownload(item, allXxx, taken);
        if (item.key != old) {
            vacated.insert(old);
            assigned.insert(item.key);
        }
        return true;
    });
}

// Empties the columns of every row `inSet` holds for and deletes its own file.
// A row being downloaded is left to its transfer: put back to Waiting it
// would be started a second time.
int deleteFiles(DownloadListModel &model, bool requeue,
                const std::function<bool(int, const DownloadItem &)> &inSet) {
    return model.EditRows([&](int row, DownloadItem &item) {
        if (item.state == ItemState::Downloading || !inSet(row, item))
            return false;
        DeleteItemFile(item);
        item.size.clear();
        item.received.clear();
        item.percent.clear();
        if (requeue) {
            item.state = ItemState::Waiting;
            item.result.clear();
        }
        return true;
    });
}

} // namespace

bool IsEnded(const DownloadItem &item) {
    return item.state == ItemState::Done || item.state == ItemState::Failed;
}

bool IsWebPageItem(const DownloadItem &item, bool withXml) {
    return isType(item.type, "htm") || isType(item.type, "html") || (withXml && isType(item.type, "xml"));
}

bool OwnsItemFile(const DownloadItem &item) {
    return item.state == ItemState::Done && item.percent == ResultText::Complete;
}

void DeleteItemFile(const DownloadItem &item) {
    if (!OwnsItemFile(item))
        return;
    const QString path = ItemFilePath(item);
    if (QFileInfo(path).isFile())
        QFile::remove(path);
}

std::optional<double> ParseNumber(const QString &text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void RequeueForRedownload(DownloadItem &item, bool allXxx,
                          const std::function<bool(const QString &)> &takenKey) {
    DeleteItemFile(item);
    item.state = ItemState::Waiting;
    // Under "xxx" an earlier saved page is not taken for the finished file.
    if (allXxx || IsWebPageItem(item, false))
        item.type = kXxx;
    item.size.clear();
    item.received.clear();
    item.percent.clear();
    item.result.clear();
    const QString rotated = 对调url(item.key);
    if (rotated != item.key && !(takenKey && takenKey(rotated)))
        item.key = rotated;
}

int RedownloadSelected(DownloadListModel &model, const RowFlags &selected) {
    return redownload(model, false, [&](int row, const DownloadItem &item) {
        return flagged(selected, row) && IsEnded(item);
    });
}

int RedownloadFailed(DownloadListModel &model) {
    if (model.CountInState(ItemState::Failed) == 0)
        return 0;
    return redownload(model, false,
                      [](int, const DownloadItem &item) { return item.state == ItemState::Failed; });
}

int RedownloadWebPages(DownloadListModel &model) {
    return redownload(model, true, [](int, const DownloadItem &item) {
        return IsWebPageItem(item, true) && IsEnded(item);
    });
}

int RedownloadFailedAndWebPages(DownloadListModel &model) {
    return redownload(model, false, [](int, const DownloadItem &item) {
        return item.state == ItemState::Failed || (IsWebPageItem(item, false) && IsEnded(item));
    });
}

int RedownloadSmallerThan(DownloadListModel &model, double bytes) {
    return redownload(model, false, [bytes](int, const DownloadItem &item) {
        if (!IsEnded(item))
            return false;
        const std::optional<double> size = columnNumber(item.size);
        const std::optional<double> received = columnNumber(item.received);
        return size && received && *received == *size && bytes > *size;
    });
}

int DeleteWebPageFiles(DownloadListModel &model) {
    return deleteFiles(model, false, [](int, const DownloadItem &item) {
        return IsWebPageItem(item, true) && IsEnded(item);
    });
}

int DeleteFailedFiles(DownloadListModel &model) {
    return deleteFiles(model, false,
                       [](int, const DownloadItem &item) { return item.state == ItemState::Failed; });
}

int DeleteSelectedFiles(DownloadListModel &model, const RowFlags &selected) {
    return deleteFiles(model, true, [&](int row, const DownloadItem &) { return flagged(selected, row); });
}

int DeleteFilesSmallerThan(DownloadListModel &model, double kilobytes) {
    return deleteFiles(model, true, [kilobytes](int, const DownloadItem &item) {
        const std::optional<double> size = columnNumber(item.size);
        return size && kilobytes > *size / 1024.0;
    });
}

int CancelSelected(DownloadListModel &model, const RowFlags &selected) {
    return model.EditRows([&](int row, DownloadItem &item) {
        if (!flagged(selected, row) || item.state != ItemState::Waiting)
            return false;
        item.state = ItemState::Failed;
        item.result = ResultText::Cancelled;
        return true;
    });
}

int MarkMissingFiles(DownloadListModel &model) {
    const QString missing = QStringLiteral("不存在");
    return model.EditRows([&](int, DownloadItem &item) {
        if (FileExists(ItemFilePath(item)))
            return false;
        item.percent = missing;
        return true;
    });
}

void ShuffleList(DownloadListModel &model, QRandomGenerator &random) {
    std::vector<int> order(size_t(model.Count()));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    model.Reorder(order);
}

ReplaceResult ReplaceInAddresses(DownloadListModel &model, const QString &find, const QString &replacement) {
    ReplaceResult result;
    const int n = model.Count();
    if (find.isEmpty() || n == 0)
        return result;
    std::vector<QString> keys(static_cast<size_t>(n));
    std::vector<bool> moved(static_cast<size_t>(n));
    QHash<QString, int> owner; // final key -> its row
    owner.reserve(n);
    for (int row = 0; row < n; ++row) {
        const QString &old = model.Item(row).key;
        keys[size_t(row)] = QString(old).replace(find, replacement, Qt::CaseInsensitive);
        moved[size_t(row)] = keys[size_t(row)] != old;
        if (!moved[size_t(row)])
            owner.insert(old, row);
    }
    // A row that cannot take its new key takes back its old one; a row that
    // took that old key as its new one must then go back too, and so on.
    const auto revert = [&](int row) {
        while (row >= 0) {
            moved[size_t(row)] = false;
            keys[size_t(row)] = model.Item(row).key;
            ++result.kept;
            const int holder = owner.value(keys[size_t(row)], -1);
            owner.insert(keys[size_t(row)], row);
            row = holder != row ? holder : -1;
        }
    };
    for (int row = 0; row < n; ++row) {
        if (!moved[size_t(row)])
            continue;
        if (owner.contains(keys[size_t(row)]))
            revert(row);
        else
            owner.insert(keys[size_t(row)], row);
    }
    result.changed = model.EditRows([&](int row, DownloadItem &item) {
        const QString referrer = QString(item.referrer).replace(find, replacement, Qt::CaseInsensitive);
        if (!moved[size_t(row)] && referrer == item.referrer)
            return false;
        item.key = keys[size_t(row)];
        item.referrer = referrer;
        return true;
    });
    return result;
}

QString ExportNames(const DownloadListModel &model, const QString &path, bool unfinishedOnly) {
    QString text;
    for (int row = 0; row < model.Count(); ++row) {
        const DownloadItem &item = model.Item(row);
        if (!unfinishedOnly || item.state != ItemState::Done)
            text += item.name + QStringLiteral("\r\n");
    }
#ifdef Q_OS_WIN
    return WriteWholeFile(path, ToCp936(text));
#else
    return WriteWholeFile(path, text.toUtf8());
#endif
}

} // namespace dh
