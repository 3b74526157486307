#pragma once
// The about window (frmAbout): title, version, the program's folders and the
// system information button.
#include <QDialog>

namespace dh {

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget *parent = nullptr);

    // cmdSysInfo: the system information program on Windows; elsewhere the
    // program's own system information window.
    static void StartSysInfo(QWidget *owner);
};

// Reads one text value under HKEY_LOCAL_MACHINE; false when the key or value
// cannot be read. Windows only: elsewhere always false.
bool GetKeyValue(const QString &keyName, const QString &valueName, QString *value);

} // namespace dh
