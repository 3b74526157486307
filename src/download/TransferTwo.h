#pragma once
// Transfer method two: one busy slot. It owns the slot's instance of the
// asynchronous download component (created by 多线程下载, removed at the
// first end event) and reports its events. Method two writes none of method
// one's result texts: a failure leaves the columns as the last progress left
// them.
#include "download/ItemTransfer.h"

namespace dh {

class Downloader;

class TransferTwo : public ItemTransfer {
    Q_OBJECT
public:
    TransferTwo(TransferJob job, QObject *parent = nullptr);
    ~TransferTwo() override;

    // 多线程下载 for the job's slot, item, address and path.
    void Start() override;
    // Removes the instance; no event of it arrives afterwards.
    void Stop() override;

    Downloader *Instance() const { return m_instance; }

private:
    void 多线程下载();
    void onHeaders(const ReplyHeaders &headers);
    void end(TransferOutcome outcome, bool announce);
    TransferOutcome lastOutcome() const;
    void removeInstance();

    TransferJob m_job;
    Downloader *m_instance = nullptr;
    bool m_ended = false;
};

} // namespace dh
