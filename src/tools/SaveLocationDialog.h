#pragma once
// The save location dialog (fSeleFileSavePath): where extracted documents go
// and whether they keep their original file name. The answers live in the
// shared values (download folder, file-name mode, cancelled flag).
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace dh
{

class SaveLocationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SaveLocationDialog(QWidget *parent = nullptr);

    // Shows the dialog modally; true unless the cancelled flag is set afterwards.
    static bool Ask(QWidget *parent);

private:
    void browse();
    void confirm();
    void cancel();

    QComboBox *m_folder = nullptr;
    QRadioButton *m_originalName = nullptr;
    QRadioButton *m_titleName = nullptr;
};

} // namespace dh
