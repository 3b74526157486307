#pragma once
// The per-user settings store: application title -> section -> key -> text,
// with a default at every read. Every key the program uses is declared once
// below with its section and default; windows use these, never literals.
#include <QSize>
#include <QString>

class QWidget;

namespace dh {

struct SettingKey {
    const char *section; // empty: the window's own section (its name)
    const char *key;
    const char *defaultValue;
};

namespace Keys {
// "设置": program-wide
inline constexpr SettingKey FileMaxSize{"设置", "文件最大值", "10"};
inline constexpr SettingKey DownloadMethod{"设置", "下载方式", "2"};
inline constexpr SettingKey ThreadPosition{"设置", "下载线程数", "2"};
inline constexpr SettingKey PerSiteLimit{"设置", "每个网站同时下载数", "6"};
inline constexpr SettingKey ProxyEnabled{"设置", "代理服务器有效", "0"};
inline constexpr SettingKey ProxyHost{"设置", "代理服务器网址", ""};
inline constexpr SettingKey ProxyPort{"设置", "代理服务器端口", ""};
inline constexpr SettingKey AskSaveLocation{"设置", "提取网页信息时提示下载保存路径", "1"};
inline constexpr SettingKey SearchLanguage{"设置", "谷歌搜索语言", "zh-CN"};
inline constexpr SettingKey DownloadFolder{"设置", "下载文件保存路径",
                                           ""}; // default: DefaultDownloadFolder()
// "专利下载"
inline constexpr SettingKey SameNameRule{"专利下载", "重复文件名设置", "重命名"};
// search windows' own sections
inline constexpr SettingKey Keywords{"", "Text1", ""};
inline constexpr SettingKey Delay{"", "Combo1", "30"}; // "3" in the scholar window
inline constexpr SettingKey NoJapanese{"", "check13", "1"};
inline constexpr SettingKey NoTraditional{"", "check14", "1"};
inline constexpr SettingKey ToSimplified{"", "check15", "1"};
inline constexpr SettingKey MirrorUrl{"", "Text3", ""}; // default per engine
inline constexpr SettingKey SearchBase{"", "搜索主网址", ""};
// fFileDownload geometry
inline constexpr SettingKey ScreenSize{"fFileDownload", "分辨率", "000"};
inline constexpr SettingKey Top{"fFileDownload", "上", "100"};
inline constexpr SettingKey Left{"fFileDownload", "左", "100"};
inline constexpr SettingKey Width{"fFileDownload", "宽", "15000"};
inline constexpr SettingKey Height{"fFileDownload", "高", "10000"};
inline constexpr SettingKey ListColumns{"fFileDownload", "列宽", ""}; // the list header's state, base64
// Form_Copy_Move
inline constexpr SettingKey CopyDestination{"Form_Copy_Move", "目的文件夹", ""}; // default: ProgramFolder()
inline constexpr SettingKey CopyRule{"Form_Copy_Move", "OpIndex", "4"};
} // namespace Keys

// The size limit of a download in MB: 1 to 1 000 000; anything else stored
// (0, 1e300, inf, text) reads as the default of 10.
inline constexpr double MinSizeLimitMb = 1;
inline constexpr double MaxSizeLimitMb = 1000000;
double ValidSizeLimitMb(double stored);
// The stored size limit, so checked.
double StoredSizeLimitMb();

class Settings {
public:
    static QString Read(const QString &section, const QString &key, const QString &defaultValue);
    static void Write(const QString &section, const QString &key, const QString &value);

    // Keys of the table; `window` names the section of window keys.
    static QString Read(const SettingKey &key, const QString &window = {});
    static QString ReadOr(const SettingKey &key, const QString &defaultValue, const QString &window = {});
    static int ReadInt(const SettingKey &key, const QString &window = {});
    static double ReadDouble(const SettingKey &key, const QString &window = {});
    static void Write(const SettingKey &key, const QString &value, const QString &window = {});
    static void Write(const SettingKey &key, int value, const QString &window = {});

    // Tests: keep the store in this INI file instead of the user's store.
    static void UseFile(const QString &path);
    // Where the store lives: a file path, or a registry path on Windows.
    static QString Location();
};

// Number forms: "10", "2.5"; a stored text that does not parse reads as the default.
QString NumberText(double value);
int ToIntOr(const QString &text, int fallback);
double ToDoubleOr(const QString &text, double fallback);

// In-memory copies of the program-wide keys, filled at the moments the
// windows read them; they start empty or 0.
struct SharedValues {
    double fileMaxSize = 0;
    int downloadMethod = 0;
    int threadPosition = 0;
    int proxyEnabled = 0;
    QString proxyHost;
    QString proxyPort;
    int askSaveLocation = 0;
    QString searchLanguage;
    QString downloadFolder;
    QString sameNameRule;
    // the save location dialog's own values
    bool useOriginalFileName = false;
    bool saveLocationCancelled = false;
};
SharedValues &Shared();

// Screen width and height in pixels joined by "*".
QString ScreenSizeText();
void SaveWindowGeometry(QWidget *window);
// The stored place and size; a window closed maximized opens maximized. On a
// first run or another screen: `firstSize` (or the widget's own size when
// empty), centred. Always within the screen.
void RestoreWindowGeometry(QWidget *window, QSize firstSize = {});

} // namespace dh
