#pragma once
// The copy window (Form_Copy_Move): copies a list of files into one folder,
// deciding by one of five same-name rules what happens to a file of the same
// name there. The five options form one control array: each is named
// "Option1" and carries its index (1..5) in the property "index".
#include "tools/CopyRules.h"

#include <QDialog>
#include <QStringList>

class QButtonGroup;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace dh {

class CopyMoveWindow : public QDialog {
    Q_OBJECT
public:
    static inline const QString StartText = QStringLiteral("开始");
    static inline const QString StopText = QStringLiteral("停止");

    explicit CopyMoveWindow(QWidget *parent = nullptr);
    ~CopyMoveWindow() override;

    void SetCopyMode() { m_copyMode = true; }
    void AddSource(const QString &path) { m_sources.append(path); }
    const QStringList &Sources() const { return m_sources; }
    int RuleIndex() const { return m_ruleIndex; }
    bool IsRunning() const { return m_running; }

    // The copy run; Command1 runs it with the report flag. Pressed during a
    // run, it stops that run after the file being copied.
    void 执行(bool report);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void browse();
    // Steps shared by start and stop: folder, settings, history, sources.
    // False when the folder could not be created.
    bool prepare();
    void copyOne(const QString &source);

    bool m_copyMode = false;
    QStringList m_sources;
    QString m_destination;
    int m_ruleIndex = 4;
    bool m_running = false;
    bool m_closeWhenIdle = false;

    QComboBox *m_folder = nullptr;
    QButtonGroup *m_rules = nullptr;
    QLabel *m_current = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_start = nullptr;
};

} // namespace dh
