#pragma once
// A read-only window showing a text file, where the desktop has no plain
// text editor to hand the file to. The file is read once, whole (callers
// keep it small).
#include <QWidget>

class QPlainTextEdit;

namespace dh {

class TextViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit TextViewerWindow(QWidget *parent = nullptr);
    // False, with nothing shown, when the file cannot be read.
    bool Load(const QString &path);
    QString Text() const;

    // Text of a file: a byte-order mark decides; else UTF-8 when the bytes
    // are valid UTF-8, else code page 936.
    static QString Decode(const QByteArray &bytes);

private:
    QPlainTextEdit *m_text = nullptr;
};

// Opens the file the way "open with Notepad" does on this platform: Notepad
// on Windows, a viewer window owned by `owner` elsewhere.
void OpenInTextViewer(const QString &path, QWidget *owner);

} // namespace dh
