#include "download/TextViewerWindow.h"

#include "util/Messages.h"
#include "util/TextCoding.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace dh {

TextViewerWindow::TextViewerWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TextViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(m_text);
    resize(800, 600);
}

QString TextViewerWindow::Decode(const QByteArray &bytes) {
    if (const std::optional<QStringConverter::Encoding> bom = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*bom);
        return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? FromCp936(bytes) : text;
}

bool TextViewerWindow::Load(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_text->setPlainText(Decode(file.readAll()));
    setWindowTitle(DialogCaption(QFileInfo(path).fileName()));
    return true;
}

QString TextViewerWindow::Text() const {
    return m_text->toPlainText();
}

void OpenInTextViewer(const QString &path, QWidget *owner) {
#ifdef Q_OS_WIN
    Q_UNUSED(owner);
    QProcess::startDetached(QStringLiteral("notepad.exe"), {path});
#else
    auto *viewer = new TextViewerWindow(owner);
    if (!viewer->Load(path)) {
        Messages::Show(owner, QStringLiteral("打开失败！"), MsgIcon::Error);
        delete viewer;
        return;
    }
    viewer->show();
    viewer->raise();
#endif
}

} // namespace dh
