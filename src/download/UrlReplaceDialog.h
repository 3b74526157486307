#pragma once
// The batch address replacement dialog (UrlReplace): the text to find and
// its replacement. "替换" hands both to the window's replacement and closes
// the dialog once it ran.
#include <QDialog>

#include <functional>

class QLineEdit;

namespace dh {

class UrlReplaceDialog : public QDialog {
    Q_OBJECT
public:
    // `replace` gets the two texts as typed; false when it refused to run
    // (the dialog then stays open).
    using Replace = std::function<bool(const QString &find, const QString &replacement)>;
    UrlReplaceDialog(Replace replace, QWidget *parent = nullptr);

private:
    void replaceClicked();

    Replace m_replace;
    QLineEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
};

} // namespace dh
