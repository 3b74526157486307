#pragma once
#include "search/SearchWindow.h"
#include "shell/MachinePreparation.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace dh {

class uXMLHTTP;

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

    // The latest-version check (first Timer1 tick); nothing without a publisher site.
    void StartVersionCheck();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void timer1Tick();
    void versionArrived();
    void versionFailed();

    QLabel *m_image = nullptr;
    QLabel *m_loading = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_latest = nullptr;
    QPushButton *m_web1 = nullptr;
    QPushButton *m_web2 = nullptr;
    QPushButton *m_quit = nullptr;
    QTimer *m_timer1 = nullptr;
    uXMLHTTP *m_http = nullptr; // uXMLHTTP2
    QPointer<SearchWindow> m_web;
    QPointer<SearchWindow> m_scholar;
};

} // namespace dh
