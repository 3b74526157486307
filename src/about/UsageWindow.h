#pragma once
// The usage-notes window (fUse): numbered steps and tips, read-only.
#include <QDialog>

namespace dh {

class UsageWindow : public QDialog {
    Q_OBJECT
public:
    explicit UsageWindow(QWidget *parent = nullptr);
};

} // namespace dh
