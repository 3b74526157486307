#pragma once
// Transfer method one: one item at a time over HTTP(S), streamed into its
// file while the list's columns follow. It runs as a cooperative loop on the
// UI thread: it yields to the event loop while it waits, and it ends when the
// busy flag is cleared from outside (the stop command).
#include "download/DownloadListModel.h"
#include "download/SaveNaming.h"

#include <QString>
#include <functional>

class QNetworkAccessManager;

namespace dh {

struct TransferOneContext {
    QNetworkAccessManager *manager = nullptr;
    bool proxyEnabled = false;
    QString proxyHost;
    QString proxyPort;
    double sizeLimitMb = 10;
    SameNameRule rule = SameNameRule::Rename;
    bool *busy = nullptr;                         // cleared by the stop command
    std::function<void(const QString &)> activity; // status panel 2
    std::function<void(const QString &)> stage;    // status panel 3
};

// The numbered connection text of a stage (0..12); any other number gives
// "<code>:<text>".
QString ConnectionStageText(int stage, int code = 0, const QString &text = {});
// Only http and https addresses are fetched.
bool IsTransferableAddress(const QString &address);

// Downloads the item at `row`; it ends Done or Failed.
void Inet下载文件(DownloadListModel &model, int row, const TransferOneContext &context);

} // namespace dh
