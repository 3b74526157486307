#pragma once
#include "search/SearchWindow.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace dh {



// The start window (fCover): first window shown, hidden while a search or
// download window is open, and the only window whose closing ends the program.
class StartWindow : public QWidget {
    Q_OBJECT
public:
    explicit StartWindow(QWidget *parent = nullptr);

    // Runs the start-up sequence: paint, prepare the machine, read the size limit.
    void StartUp();
    SearchWindow *WebSearch() const { return m_web; }
    SearchWindow *ScholarSearch() const { return m_scholar; }
    // Command1 / Command2.
    void OpenWebSearch();
    void OpenScholarSearch();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void timer1Tick();

    QLabel *m_image = nullptr;
    QLabel *m_loading = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_latest = nullptr;
    QPushButton *m_web1 = nullptr;
    QPushButton *m_web2 = nullptr;
    QPushButton *m_quit = nullptr;
    QTimer *m_timer1 = nullptr;
    QPointer<SearchWindow> m_web;
    QPointer<SearchWindow> m_scholar;
};

// Computed once at start-up: the operating-system width ("64"/"32") and description.
struct MachineInfo {
    QString width;
    QString description;
};
const MachineInfo &Machine();
void PrepareMachine();

} // namespace dh
