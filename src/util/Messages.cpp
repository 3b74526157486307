#include "util/Messages.h"

#include "util/AppInfo.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace dh {
namespace {
struct State {
    bool scripted = false;
    QStringList answers;
    QList<ShownMessage> shown;
    std::function<int(QDialog *)> modalHook;
};
State &state()
{
    static State s;
    return s;
}
QString nextAnswer()
{
    auto &s = state();
    return s.answers.isEmpty() ? QString() : s.answers.takeFirst();
}
QString titleOr(const QString &title) { return title.isEmpty() ? AppTitle() : title; }
void record(const QString &text, const QString &title, MsgIcon icon)
{
    state().shown.append({text, title, icon});
}
} // namespace

void Messages::Show(QWidget *parent, const QString &text, MsgIcon icon, const QString &title)
{
    record(text, titleOr(title), icon);
    if (state().scripted)
        return;
    QMessageBox box(parent);
    box.setWindowTitle(titleOr(title));
    box.setText(text);
    switch (icon) {
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.exec();
}

bool Messages::Ask(QWidget *parent, const QString &text, MsgIcon icon, const QString &title)
{
    record(text, titleOr(title), icon);
    if (state().scripted)
        return nextAnswer().compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0;
    QMessageBox box(parent);
    box.setWindowTitle(titleOr(title));
    box.setText(text);
    box.setIcon(icon == MsgIcon::None ? QMessageBox::NoIcon : QMessageBox::Question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    // The program speaks Chinese whether or not the toolkit's translations are installed.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString Messages::Input(QWidget *parent, const QString &prompt, const QString &title,
                        const QString &defaultText)
{
    record(prompt, titleOr(title), MsgIcon::None);
    if (state().scripted)
        return nextAnswer();
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, titleOr(title), prompt, QLineEdit::Normal,
                                                 defaultText, &ok);
    return ok ? answer : QString();
}

QString Messages::OpenFile(QWidget *parent, const QString &filter, const QString &folder)
{
    if (state().scripted)
        return nextAnswer();
    return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
}

QString Messages::SaveFile(QWidget *parent, const QString &filter, const QString &defaultSuffix,
                           const QString &folder)
{
    if (state().scripted)
        return nextAnswer();
    QFileDialog dialog(parent, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString Messages::PickFolder(QWidget *parent, const QString &start, const QString &title)
{
    if (state().scripted)
        return nextAnswer();
    return QFileDialog::getExistingDirectory(parent, title, start);
}

int Messages::RunModal(QDialog *dialog)
{
    if (state().modalHook)
        return state().modalHook(dialog);
    return dialog->exec();
}

void Messages::SetScripted(bool on) { state().scripted = on; }
bool Messages::Scripted() { return state().scripted; }
void Messages::QueueAnswer(const QString &answer) { state().answers.append(answer); }
void Messages::SetModalHook(std::function<int(QDialog *)> hook) { state().modalHook = std::move(hook); }
const QList<ShownMessage> &Messages::Shown() { return state().shown; }
std::optional<ShownMessage> Messages::Last()
{
    if (state().shown.isEmpty())
        return std::nullopt;
    return state().shown.constLast();
}
void Messages::Clear()
{
    state().shown.clear();
    state().answers.clear();
}

QString DialogCaption(const QString &caption) { return caption + QLatin1Char('-') + AppTitle(); }

} // namespace dh
