#include "util/DesktopHelpers.h"

#include "util/AppInfo.h"
#include "util/Clock.h"
#include "util/FileHelpers.h"
#include "util/Messages.h"
#include "util/Wait.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPalette>
#include <QProcess>
#include <QScreen>
#include <QSoundEffect>
#include <QStyle>
#include <QSysInfo>
#include <QTableView>
#include <QTimer>
#include <QWindow>

#ifdef Q_OS_WIN
#include <QSettings>
#include <windows.h>
#ifdef _MSC_VER
#pragma comment(lib, "version.lib")
#endif
#endif

// The sounds live in a static library: reference the resource so that the
// linker keeps it (Q_INIT_RESOURCE must be used outside a namespace).
static void InitSoundResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(sounds);
        return true;
    }();
    Q_UNUSED(done);
}

namespace dh {
namespace {

// A sound plays on its own; it is removed when it ends or fails, and at the
// latest after this long: without an audio device, or for a file it cannot
// decode, the effect reports neither an end nor an error.
constexpr qint64 SoundLifetime = 30 * Durations::Second;
constexpr int DropDownPadding = 7;
constexpr int DropDownScrollBarFrom = 9;

QString RootFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QStringLiteral("/");
#endif
}

#ifdef Q_OS_WIN
QString Kernel32Version() {
    const std::wstring file =
        (WithTrailingSeparator(SystemFolder()) + QStringLiteral("kernel32.dll")).toStdWString();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return {};
    QByteArray data(int(size), '\0');
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &length) || !info)
        return {};
    return QStringLiteral("%1.%2.%3.%4")
        .arg(HIWORD(info->dwFileVersionMS))
        .arg(LOWORD(info->dwFileVersionMS))
        .arg(HIWORD(info->dwFileVersionLS))
        .arg(LOWORD(info->dwFileVersionLS));
}
#endif

} // namespace

void OpenWithDesktop(const QString &path, QWidget *owner) {
    const QFileInfo info(path);
    bool present = !path.isEmpty() && !path.contains(QChar(0)) && info.isFile();
#ifdef Q_OS_WIN
    // Only Windows has a hidden attribute; a POSIX dot name is an ordinary file.
    present = present && !info.isHidden();
#endif
    if (!present) {
        Messages::Show(owner, QStringLiteral("文件不存在！"), MsgIcon::Error);
        return;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())))
        return;
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("rundll32.exe"),
                            {QStringLiteral("url.dll,FileProtocolHandler"), QDir::toNativeSeparators(path)});
#endif
}

bool ShowInFolder(const QString &path) {
    if (!FileExists(path))
        return false;
    const QString file = LocalFilePath(path);
#ifdef Q_OS_WIN
    return QProcess::startDetached(QStringLiteral("explorer.exe"),
                                   {QStringLiteral("/select,"), QDir::toNativeSeparators(file)});
#else
    // Desktop file browsers here take a folder, not a selection.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
#endif
}

void OpenWebAddress(const QString &address, bool browserWindow) {
    // The desktop browser decides whether a new window opens.
    Q_UNUSED(browserWindow);
    const QString text = address.trimmed();
    if (text.isEmpty() || text.contains(QChar(0)))
        return;
    const QUrl url = QUrl::fromUserInput(text);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void PlayNumberedSound(int number) {
    const QString folder = ProgramFolder();
    if (folder.isEmpty())
        return;
    const QString name = QString::number(number) + QStringLiteral(".wav");
    const QString file = WithTrailingSeparator(folder) + name;
    if (!FileExists(file)) {
        InitSoundResources();
        QFile kept(QStringLiteral(":/sounds/") + name);
        if (!kept.open(QIODevice::ReadOnly))
            return;
        if (!WriteWholeFile(file, kept.readAll()).isEmpty())
            return;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    auto *effect = new QSoundEffect(app);
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying())
            effect->deleteLater();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error)
            effect->deleteLater();
    });
    QTimer::singleShot(Clock::RealInterval(SoundLifetime), effect, &QObject::deleteLater);
    effect->setSource(QUrl::fromLocalFile(file));
    effect->play();
}

QString FolderPickerStart(const QString &initialFolder) {
    const QChar sep = PathSeparator();
#ifdef Q_OS_WIN
    QString start = initialFolder.trimmed().isEmpty() ? QStringLiteral("c:\\") : initialFolder;
#else
    QString start = initialFolder.trimmed().isEmpty() ? RootFolder() : initialFolder;
#endif
    // "…/docs/pdf" and "…/docs/pdf/" both start at "…/docs/".
    if (start.size() >= 2) {
        const qsizetype cut = start.lastIndexOf(sep, start.size() - 2);
        if (cut >= 0)
            start.truncate(cut + 1);
    }
    if (!FolderExists(start))
        start = RootFolder();
    return start;
}

QString BrowseForFolder(QWidget *owner, const QString &initialFolder, const QString &title) {
    const QString chosen =
        QDir::toNativeSeparators(Messages::PickFolder(owner, FolderPickerStart(initialFolder), title));
    return WithTrailingSeparator(chosen.isEmpty() ? initialFolder : chosen);
}

bool IsWindowOpen(const QString &name) {
    if (name.isEmpty() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->objectName().compare(name, Qt::CaseInsensitive) != 0 || IsClosing(window))
            continue;
        // A closed window has lost its platform window; it only waits for its
        // deferred deletion. A hidden or not yet shown window still counts.
        const QWindow *handle = window->windowHandle();
        if (handle && !handle->handle())
            continue;
        return true;
    }
    return false;
}

void DeleteOnCloseAfterWaits(QWidget *window) {
    if (!window->testAttribute(Qt::WA_DeleteOnClose) || !WaitsRunningIn(window))
        return;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    DeleteAfterWaits(window);
}

bool IsControlAlive(const QObject *control) {
    return control != nullptr;
}

void WidenDropDown(QComboBox *combo) {
    if (!combo)
        return;
    QString longest;
    for (int i = 0; i < combo->count(); ++i) {
        const QString text = combo->itemText(i);
        if (text.size() > longest.size())
            longest = text;
    }
    int width = combo->fontMetrics().horizontalAdvance(longest) + DropDownPadding;
    if (combo->count() >= DropDownScrollBarFrom)
        width += combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, combo);
    if (const QScreen *screen = combo->screen()) {
        const QRect area = screen->geometry();
        const int room = area.x() + area.width() - combo->mapToGlobal(QPoint(0, 0)).x();
        width = qMin(width, room);
    }
    combo->view()->setMinimumWidth(qMax(0, width));
}

void StripeListRows(QAbstractItemView *list, int rowHeight) {
    if (!list)
        return;
    // Row 0 takes Base, row 1 AlternateBase: light green first, then white.
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, QColor(231, 248, 237));
    palette.setColor(QPalette::AlternateBase, QColor(255, 255, 255));
    list->setPalette(palette);
    list->setAlternatingRowColors(true);
    // Never lower than a line of text, or the entries would be clipped.
    if (auto *table = qobject_cast<QTableView *>(list); table && rowHeight > 0)
        table->verticalHeader()->setDefaultSectionSize(qMax(rowHeight, table->fontMetrics().height()));
}

QString OsWidthText() {
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64")) ? QStringLiteral("64")
                                                                            : QStringLiteral("32");
}

QString WindowsNameFromKernelVersion(const QString &dottedVersion) {
    const QStringList parts = dottedVersion.split(QLatin1Char('.'));
    if (parts.size() < 4)
        return {};
    bool majorOk = false;
    bool minorOk = false;
    const int major = parts.at(0).toInt(&majorOk);
    const int minor = parts.at(1).toInt(&minorOk);
    if (!majorOk || !minorOk)
        return {};
    if (major > 6)
        return QStringLiteral("Windows ") + dottedVersion;
    if (major == 6 && minor >= 3)
        return QStringLiteral("Windows 8.1 [") + dottedVersion + QLatin1Char(']');
    return {};
}

QString OsVersionName() {
#ifdef Q_OS_WIN
    const QString named = WindowsNameFromKernelVersion(Kernel32Version());
    if (!named.isEmpty())
        return named;
    // Qt runs on no system that the older version records would name.
    return QSysInfo::prettyProductName() + QStringLiteral(" [Version: ") + QSysInfo::kernelVersion() +
           QLatin1Char(']');
#else
    return QSysInfo::prettyProductName() + QStringLiteral(" 版本:") + QSysInfo::productVersion() +
           QStringLiteral(" (内部版本:") + QSysInfo::kernelVersion() + QLatin1Char(')');
#endif
}

QString OsDescription() {
    const QString width = QLatin1Char('[') + OsWidthText() + QStringLiteral("位]");
#ifdef Q_OS_WIN
    const QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
                        QSettings::NativeFormat);
    const QString product = key.value(QStringLiteral("ProductName")).toString();
    if (product.isEmpty())
        return OsVersionName() + width;
    QString release = key.value(QStringLiteral("ReleaseId")).toString();
    if (release.isEmpty())
        release = key.value(QStringLiteral("CurrentVersion")).toString();
    QString build;
    if (key.contains(QStringLiteral("UBR"))) {
        build = key.value(QStringLiteral("CurrentBuildNumber")).toString() + QLatin1Char('.') +
                QString::number(key.value(QStringLiteral("UBR")).toUInt());
    } else {
        build = key.value(QStringLiteral("BuildLab")).toString();
        if (key.contains(QStringLiteral("CSDVersion")))
            build += QStringLiteral(" : ") + key.value(QStringLiteral("CSDVersion")).toString();
    }
    return product + QStringLiteral(" 版本:") + release + QStringLiteral(" (内部版本:") + build +
           QLatin1Char(')') + width;
#else
    return OsVersionName() + width;
#endif
}

QUrl SuggestionMailUrl(const QString &publisherUrl) {
    const QString site = publisherUrl.trimmed();
    if (site.isEmpty())
        return {};
    const QString host = QUrl::fromUserInput(site).host();
    if (host.isEmpty())
        return {};
    const QString title = AppTitle();
    const QString gap(10, QLatin1Char(' '));
    const QString subject = QStringLiteral("我要对[") + title + QStringLiteral("]提建议");
    const QString body = QStringLiteral("软件名称：") + title + QStringLiteral(" 姓名：") + gap +
                         QStringLiteral(" Email：") + gap + QStringLiteral(" 联系地址：") + gap +
                         QStringLiteral(" 邮编：") + gap + QStringLiteral(" 电话：") + gap +
                         QStringLiteral(" 日期：") + Clock::WallTime().date().toString(Qt::ISODate);
    const QByteArray encoded = "mailto:" + QUrl::toPercentEncoding(QStringLiteral("support@") + host, "@") +
                               "?subject=" + QUrl::toPercentEncoding(subject) +
                               "&body=" + QUrl::toPercentEncoding(body);
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

void SendSuggestionMail() {
    const QUrl mail = SuggestionMailUrl(PublisherUrl());
    if (mail.isValid() && !mail.isEmpty())
        QDesktopServices::openUrl(mail);
}

} // namespace dh
