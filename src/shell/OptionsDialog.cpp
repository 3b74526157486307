#include "shell/OptionsDialog.h"

#include "download/DownloadWindow.h"
#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

namespace dh {
namespace {

// A label whose run of spaces holds a text box: the box is drawn in the blank
// and the text after the blank moves aside to make room for it.
class BlankLabel : public QLabel {
public:
    BlankLabel(const QString &text, QLineEdit *box, QWidget *parent) : QLabel(text, parent), m_box(box) {
        box->setParent(this);
        box->setFixedWidth(64);
        box->setAlignment(Qt::AlignRight);
        const qsizetype blank = text.indexOf(QLatin1Char(' '));
        m_before = text.left(blank);
        m_after = text.mid(blank).trimmed();
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return {fm.horizontalAdvance(m_before) + m_box->width() + fm.horizontalAdvance(m_after) + 2 * kGap,
                qMax(fm.height(), m_box->sizeHint().height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent *event) override {
        QLabel::resizeEvent(event);
        m_box->move(QFontMetrics(font()).horizontalAdvance(m_before) + kGap,
                    (height() - m_box->height()) / 2);
    }
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect line(0, 0, width(), height());
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, m_before);
        painter.drawText(line.adjusted(m_box->geometry().right() + 1 + kGap, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, m_after);
    }

private:
    static constexpr int kGap = 4;
    QLineEdit *m_box;
    QString m_before;
    QString m_after;
};

const QString kFolderError = QStringLiteral("下载文件默认保存路径设置错误！");

// The typed size limit as a number, or nothing.
std::optional<double> sizeLimit(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool validPort(const QString &port) {
    bool ok = false;
    const int value = port.toInt(&ok);
    return IsDecimalDigits(port) && ok && value >= 1 && value <= 65535;
}

// The values in effect; a group that no window has read yet in this run is
// read from the store first, so that OK never overwrites a stored proxy or
// method with the empty start values.
void readUnreadSharedValues() {
    SharedValues &shared = Shared();
    if (shared.downloadMethod == 0) {
        shared.downloadMethod = Settings::ReadInt(Keys::DownloadMethod);
        shared.proxyEnabled = Settings::ReadInt(Keys::ProxyEnabled);
        shared.proxyHost = Settings::Read(Keys::ProxyHost).trimmed();
        shared.proxyPort = Settings::Read(Keys::ProxyPort).trimmed();
    }
    if (shared.searchLanguage.isEmpty()) {
        shared.askSaveLocation = Settings::ReadInt(Keys::AskSaveLocation);
        shared.searchLanguage = Settings::Read(Keys::SearchLanguage);
    }
    if (shared.fileMaxSize == 0)
        shared.fileMaxSize = StoredSizeLimitMb();
    if (shared.downloadFolder.isEmpty())
        shared.downloadFolder =
            WithTrailingSeparator(Settings::ReadOr(Keys::DownloadFolder, DefaultDownloadFolder()));
}

} // namespace

OptionsDialog::OptionsDialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fOption"));
    setModal(true);

    auto *label1 = Named(new QLabel(QStringLiteral("下载方式："), this), "Label1");
    m_option1 = Named(new QRadioButton(QStringLiteral("下载方式一 (支持HTTP，单线程，代理服务器下载)"), this),
                      "Option1");
    m_option2 = Named(new QRadioButton(QStringLiteral("下载方式二 (支持HTTP，多线程下载)"), this), "Option2");
    m_option1->setChecked(true);
    m_check1 = Named(new QCheckBox(QStringLiteral("下载使用代理服务器"), this), "Check1");
    auto *label14 = Named(new QLabel(QStringLiteral("地址："), this), "Label14");
    m_text6 = Named(new QLineEdit(this), "Text6");
    auto *label6 =
        Named(new QLabel(QStringLiteral("(如：proxy.example.com 或者 192.168.0.1)"), this), "Label6");
    auto *label15 = Named(new QLabel(QStringLiteral("端口："), this), "Label15");
    m_text8 = Named(new QLineEdit(this), "Text8");
    auto *label10 = Named(new QLabel(QStringLiteral("(如：3128 或者 80 等等)"), this), "Label10");
    m_check2 = Named(new QCheckBox(QStringLiteral("提取网页信息时，提示下载保存路径"), this), "Check2");
    auto *frame1 = Named(new QGroupBox(QStringLiteral("谷歌搜索语言"), this), "Frame1");
    m_option3 = Named(new QRadioButton(QStringLiteral("中文"), frame1), "Option3");
    m_option4 = Named(new QRadioButton(QStringLiteral("英文"), frame1), "Option4");
    m_option3->setChecked(true);
    m_text1 = Named(new QLineEdit(QStringLiteral("10"), this), "Text1");
    auto *label2 =
        Named(new BlankLabel(QStringLiteral("下载文件大小不超过：       MB"), m_text1, this), "Label2");
    auto *label3 = Named(new QLabel(QStringLiteral("下载文件默认保存路径："), this), "Label3");
    m_text2 = Named(new QLineEdit(this), "Text2");
    m_text2->setMinimumWidth(320);
    auto *command3 = Named(new QPushButton(QStringLiteral("指定"), this), "Command3");
    auto *command1 = Named(new QPushButton(QStringLiteral("确定"), this), "Command1");
    auto *command2 = Named(new QPushButton(QStringLiteral("关闭"), this), "Command2");
    command3->setAutoDefault(false);
    command2->setAutoDefault(false);
    command1->setDefault(true);

    auto *frameLayout = new QHBoxLayout(frame1);
    frameLayout->addWidget(m_option3);
    frameLayout->addWidget(m_option4);
    frameLayout->addStretch();

    auto *proxy = new QGridLayout;
    proxy->setContentsMargins(24, 0, 0, 0);
    proxy->addWidget(label14, 0, 0);
    proxy->addWidget(m_text6, 0, 1);
    proxy->addWidget(label6, 0, 2);
    proxy->addWidget(label15, 1, 0);
    proxy->addWidget(m_text8, 1, 1);
    proxy->addWidget(label10, 1, 2);

    auto *folder = new QHBoxLayout;
    folder->addWidget(m_text2, 1);
    folder->addWidget(command3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(command1);
    buttons->addWidget(command2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(m_option1);
    layout->addWidget(m_option2);
    layout->addWidget(m_check1);
    layout->addLayout(proxy);
    layout->addWidget(m_check2);
    layout->addWidget(frame1);
    layout->addWidget(label2);
    layout->addWidget(label3);
    layout->addLayout(folder);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(command1, &QPushButton::clicked, this, &OptionsDialog::Confirm);
    connect(command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(command3, &QPushButton::clicked, this, &OptionsDialog::chooseFolder);

    load();
}

void OptionsDialog::load() {
    setWindowTitle(DialogCaption(QStringLiteral("设置")));
    readUnreadSharedValues();
    const SharedValues &shared = Shared();
    m_check1->setChecked(shared.proxyEnabled == 1);
    m_text6->setText(shared.proxyHost);
    m_text8->setText(shared.proxyPort);
    if (shared.downloadMethod == 2)
        m_option2->setChecked(true);
    else
        m_option1->setChecked(true);
    if (shared.searchLanguage == QLatin1String("en"))
        m_option4->setChecked(true);
    else
        m_option3->setChecked(true);
    m_check2->setChecked(shared.askSaveLocation == 1);
    m_text1->setText(NumberText(shared.fileMaxSize));
    m_text2->setText(shared.downloadFolder);
}

void OptionsDialog::chooseFolder() {
    m_text2->setText(BrowseForFolder(this, m_text2->text(), QStringLiteral("请选择要浏览的文件夹:")));
}

void OptionsDialog::Confirm() {
    const std::optional<double> limit = sizeLimit(m_text1->text());
    if (!limit || *limit < MinSizeLimitMb || *limit > MaxSizeLimitMb) {
        Messages::Show(this,
                       limit ? QStringLiteral("文件大小必须在1到1000000之间！")
                             : QStringLiteral("文件大小必须为数字！"),
                       MsgIcon::Error);
        m_text1->setFocus();
        m_text1->selectAll();
        return;
    }
    SharedValues &shared = Shared();

    shared.downloadMethod = m_option2->isChecked() ? 2 : 1;
    if (IsWindowOpen(QStringLiteral("fFileDownload")))
        if (DownloadWindow *downloads = DownloadWindow::Instance())
            downloads->ApplyMethod(shared.downloadMethod);
    Settings::Write(Keys::DownloadMethod, shared.downloadMethod);

    shared.proxyEnabled = m_check1->isChecked() ? 1 : 0;
    shared.proxyHost = m_text6->text().trimmed();
    shared.proxyPort = m_text8->text().trimmed();
    Settings::Write(Keys::ProxyEnabled, shared.proxyEnabled);
    Settings::Write(Keys::ProxyHost, shared.proxyHost);
    Settings::Write(Keys::ProxyPort, shared.proxyPort);
    if (shared.proxyEnabled == 1 && (shared.proxyHost.isEmpty() || !validPort(shared.proxyPort)))
        Messages::Show(this, QStringLiteral("代理服务器网址或者端口格式不对！"), MsgIcon::Error);

    shared.askSaveLocation = m_check2->isChecked() ? 1 : 0;
    Settings::Write(Keys::AskSaveLocation, shared.askSaveLocation);
    shared.searchLanguage = m_option4->isChecked() ? QStringLiteral("en") : QStringLiteral("zh-CN");
    Settings::Write(Keys::SearchLanguage, shared.searchLanguage);
    shared.fileMaxSize = *limit;
    Settings::Write(Keys::FileMaxSize, NumberText(*limit));

    QString folder = m_text2->text().trimmed();
    // A relative folder would land wherever the program happened to start.
    if (folder.isEmpty() || !QDir::isAbsolutePath(QDir::fromNativeSeparators(folder))) {
        Messages::Show(this, kFolderError, MsgIcon::Error);
        return;
    }
    folder = CreateFolderPath(WithTrailingSeparator(folder));
    m_text2->setText(folder);
    if (folder.isEmpty()) {
        Messages::Show(this, kFolderError, MsgIcon::Error);
        return;
    }
    shared.downloadFolder = WithTrailingSeparator(folder);
    Settings::Write(Keys::DownloadFolder, shared.downloadFolder);
    accept();
}

} // namespace dh
