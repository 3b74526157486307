#pragma once
// The download window's web login area (PicWebBK): a browser view of the
// shared session (Web1), so a login made here is seen by both transfer
// methods, with the login address, account, password and mode. AutoLogin
// opens the login page and fills and submits its form (or presses its IP
// login button); it runs on demand and after a transfer brought a web page.
//
// The login is driven by the view's events and timers, never by a nested
// wait, so the window may close at any moment of it. Nothing typed here is
// stored anywhere.
#include <QFrame>
#include <QUrl>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QVBoxLayout;

namespace dh {

class WebBrowserView;

class WebLoginPanel : public QFrame {
    Q_OBJECT
public:
    explicit WebLoginPanel(QWidget *parent = nullptr);

    // Web1, created when first needed (silent, showing a blank page).
    WebBrowserView *Web();
    // Command1: shows the panel; with neither box ticked, opens `address`
    // (the selected row's first address, or empty for none).
    void ShowPanel(const QString &address);
    // Command2: opens the login page, then runs `then` (also when there is
    // no address).
    void OpenLoginPage(std::function<void()> then = {});
    void AutoLogin(bool messages);
    // Command5 is disabled while a login runs.
    bool LoginRunning() const;
    bool AutoLoginTicked() const;
    // Timer2 off (the window closes).
    void StopRefresh();

signals:
    // The page title, for status-bar panel 3.
    void TitleChanged(const QString &title);
    // A word on the login for the same panel.
    void Note(const QString &text);

private:
    // AutoLogin steps 1 and 2; false (Check2 cleared) when one fails.
    bool settingsUsable(bool messages);
    QUrl loginUrl() const;
    // Whether the page shown is of the login address's site; a note if not.
    bool onLoginSite();
    void noteElsewhere(const QUrl &page);
    void fillAndSubmit();
    void pressIpLogin();
    // Waits (at most the login page time) for the view to finish the page.
    void waitForPage(std::function<void()> then);
    void afterClick(const QVariant &clicked);
    void finishLogin();
    bool pageDone() const;

    QVBoxLayout *m_layout = nullptr;
    WebBrowserView *m_web = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLineEdit *m_text3 = nullptr;
    QRadioButton *m_option4 = nullptr;
    QRadioButton *m_option5 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QCheckBox *m_check2 = nullptr;
    QComboBox *m_combo3 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command5 = nullptr;
    QTimer *m_timer2 = nullptr;
    bool m_pageWait = false;
};

} // namespace dh
