#pragma once
// The program's own system information window, for systems without a system
// information program: the system, processor and memory, the toolkit and
// browser engine versions, and where the program keeps its files.
#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

namespace dh {

// (item, value) rows, in display order.
QList<QPair<QString, QString>> SystemInfoRows();

class SystemInfoWindow : public QDialog {
    Q_OBJECT
public:
    explicit SystemInfoWindow(QWidget *parent = nullptr);
};

} // namespace dh
