#pragma once
// Every message box, question, input box and file dialog of the program goes
// through here, so that a test can script the next answer and read what was
// shown. Modal dialogs of our own call RunModal, which a test can intercept.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;
class QDialog;

namespace dh {

enum class MsgIcon { None, Error, Information, Question };

struct ShownMessage {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
};

class Messages {
public:
    static void Show(QWidget *parent, const QString &text, MsgIcon icon, const QString &title = {});
    // Yes/No question; true on Yes.
    static bool Ask(QWidget *parent, const QString &text, MsgIcon icon = MsgIcon::Question,
                    const QString &title = {});
    // Input box; empty text on cancel.
    static QString Input(QWidget *parent, const QString &prompt, const QString &title = {},
                         const QString &defaultText = {});
    static QString OpenFile(QWidget *parent, const QString &filter, const QString &folder = {});
    static QString SaveFile(QWidget *parent, const QString &filter, const QString &defaultSuffix,
                            const QString &folder = {});
    static QString PickFolder(QWidget *parent, const QString &start, const QString &title);
    // exec() of a modal dialog of our own, or the test's hook.
    static int RunModal(QDialog *dialog);

    // --- test seam -------------------------------------------------------
    // When scripted, no real dialog appears: the queued answers are used in
    // order (an empty queue answers No / cancel / empty).
    static void SetScripted(bool on);
    static bool Scripted();
    static void QueueAnswer(const QString &answer); // "yes"/"no" or the text to return
    static void SetModalHook(std::function<int(QDialog *)> hook);
    static const QList<ShownMessage> &Shown();
    static std::optional<ShownMessage> Last();
    static void Clear();
};

// "<caption>-<application title>"
QString DialogCaption(const QString &caption);

} // namespace dh
