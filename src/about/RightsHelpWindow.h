#pragma once
// The run-rights help window (Net352): how to run the program with enough
// rights, with the system's description and a picture of the settings.
#include <QDialog>

namespace dh {

class RightsHelpWindow : public QDialog {
    Q_OBJECT
public:
    RightsHelpWindow(const QString &executableName, const QString &osDescription, QWidget *parent = nullptr);
};

} // namespace dh
