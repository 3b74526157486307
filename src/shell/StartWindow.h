#pragma once
#include <QWidget>

class QLabel;
class QPushButton;

namespace dh {

// The start window (fCover): first window shown, the only one whose closing
// ends the program.
class StartWindow : public QWidget {
    Q_OBJECT
public:
    explicit StartWindow(QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_version = nullptr;
    QPushButton *m_quit = nullptr;
};

} // namespace dh
