#pragma once
// The options dialog (fOption): transfer method, proxy, the save-location
// prompt, search language, size limit and default download folder. It shows
// the shared values in effect and on OK writes them to the shared copies and
// the store, and updates an open download window.
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace dh {

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit OptionsDialog(QWidget *parent = nullptr);

    // Command1: validate and save; closes the dialog when the folder step succeeds.
    void Confirm();

private:
    void load();
    void chooseFolder();

    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QCheckBox *m_check1 = nullptr;
    QLineEdit *m_text6 = nullptr;
    QLineEdit *m_text8 = nullptr;
    QCheckBox *m_check2 = nullptr;
    QRadioButton *m_option3 = nullptr;
    QRadioButton *m_option4 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QLineEdit *m_text2 = nullptr;
};

} // namespace dh
