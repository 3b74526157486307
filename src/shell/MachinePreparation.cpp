#include "shell/MachinePreparation.h"

#include "util/DesktopHelpers.h"
#include "util/FileHelpers.h"

#include <QStringList>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace dh {
namespace {
MachineInfo &machine()
{
    static MachineInfo info;
    return info;
}
const QStringList &rootNames()
{
    static const QStringList names = {
        QStringLiteral("HKEY_CLASSES_ROOT"),     QStringLiteral("HKEY_CURRENT_USER"),
        QStringLiteral("HKEY_LOCAL_MACHINE"),    QStringLiteral("HKEY_USERS"),
        QStringLiteral("HKEY_PERFORMANCE_DATA"), QStringLiteral("HKEY_CURRENT_CONFIG"),
        QStringLiteral("HKEY_DYN_DATA"),
    };
    return names;
}
} // namespace

const MachineInfo &Machine() { return machine(); }

std::optional<RegistryPath> ParseRegistryPath(const QString &fullPath)
{
    if (!fullPath.startsWith(QLatin1String("HKEY_"), Qt::CaseInsensitive) || fullPath.endsWith(QLatin1Char('\\')))
        return std::nullopt;
    const qsizetype cut = fullPath.indexOf(QLatin1Char('\\'));
    const QString root = (cut < 0 ? fullPath : fullPath.left(cut)).trimmed().toUpper();
    if (!rootNames().contains(root))
        return std::nullopt;
    return RegistryPath{root, cut < 0 ? QString() : fullPath.mid(cut + 1)};
}

std::optional<quint32> BrowserEmulationValue(const QString &engine, bool forced)
{
    const QString name = engine.trimmed().toUpper();
    if (name == QLatin1String("IE10"))
        return forced ? 10001 : 10000;
    if (name == QLatin1String("IE9"))
        return forced ? 9999 : 9000;
    if (name == QLatin1String("IE8"))
        return forced ? 8888 : 8000;
    if (name == QLatin1String("IE7"))
        return 7000;
    return std::nullopt;
}

#ifdef Q_OS_WIN
namespace {
HKEY rootKey(const QString &root)
{
    const HKEY keys[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
                         HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    return keys[rootNames().indexOf(root)];
}

// Opens the key for reading and writing in the chosen view; null on failure.
HKEY openKey(const QString &key, const QString &view)
{
    const std::optional<RegistryPath> path = ParseRegistryPath(key);
    if (!path)
        return nullptr;
    const QString width = view.isEmpty() ? machine().width : view;
    const REGSAM sam = KEY_READ | KEY_WRITE | (width == QLatin1String("64") ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(rootKey(path->root), reinterpret_cast<LPCWSTR>(path->subKey.utf16()), 0, sam, &handle)
        != ERROR_SUCCESS)
        return nullptr;
    return handle;
}
} // namespace

QString RegReadText(const QString &key, const QString &value, const QString &view)
{
    HKEY handle = openKey(key, view);
    if (!handle)
        return QStringLiteral("Error");
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG result = RegQueryValueExW(handle, reinterpret_cast<LPCWSTR>(value.utf16()), nullptr, &type,
                                         reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return QStringLiteral("Error");
    QString text = QString::fromWCharArray(buffer, int(size / sizeof(wchar_t)));
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

QString RegReadNumber(const QString &key, const QString &value, const QString &view)
{
    HKEY handle = openKey(key, view);
    if (!handle)
        return QStringLiteral("Error");
    DWORD number = 0;
    DWORD size = sizeof(number);
    DWORD type = 0;
    const LONG result = RegQueryValueExW(handle, reinterpret_cast<LPCWSTR>(value.utf16()), nullptr, &type,
                                         reinterpret_cast<LPBYTE>(&number), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_DWORD)
        return QStringLiteral("Error");
    return QString::number(number);
}

bool RegWriteNumber(const QString &key, const QString &value, quint32 number, const QString &view)
{
    HKEY handle = openKey(key, view);
    if (!handle)
        return false;
    const DWORD data = number;
    const LONG result = RegSetValueExW(handle, reinterpret_cast<LPCWSTR>(value.utf16()), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE *>(&data), sizeof(data));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

bool RegDeleteValue(const QString &key, const QString &value, const QString &view)
{
    HKEY handle = openKey(key, view);
    if (!handle)
        return false;
    const LONG result = RegDeleteValueW(handle, reinterpret_cast<LPCWSTR>(value.utf16()));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

void SetBrowserEmulation(const QString &engine, bool forced)
{
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\MAIN\\"
                                       "FeatureControl\\FEATURE_BROWSER_EMULATION");
    const QString value =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".exe");
    QStringList views = {QStringLiteral("32")};
    if (machine().width == QLatin1String("64"))
        views.append(QStringLiteral("64"));
    const std::optional<quint32> number = BrowserEmulationValue(engine, forced);
    for (const QString &view : views) {
        if (!number)
            RegDeleteValue(key, value, view);
        else if (RegReadNumber(key, value, view) != QString::number(*number))
            RegWriteNumber(key, value, *number, view);
    }
}

bool 控件注册(const QString &file, QWidget *owner)
{
    QString registrar = SystemFolder();
    if (!registrar.endsWith(QLatin1Char('\\')))
        registrar += QLatin1Char('\\');
    registrar += QStringLiteral("REGSVR32.EXE");
    const QString parameters = QStringLiteral(" /s \"") + QDir::toNativeSeparators(file) + QLatin1Char('"');
    const HINSTANCE result =
        ShellExecuteW(owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr, L"open",
                      reinterpret_cast<LPCWSTR>(registrar.utf16()), reinterpret_cast<LPCWSTR>(parameters.utf16()),
                      nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
#endif

void PrepareMachine()
{
#ifdef Q_OS_WIN
    const QString component = WithTrailingSeparator(QCoreApplication::applicationDirPath()) + QStringLiteral("dhRichClient3.dll");
    if (FileExists(component))
        控件注册(component, nullptr);
#endif
    machine().width = OsWidthText();
    machine().description = OsDescription();
#ifdef Q_OS_WIN
    SetBrowserEmulation(QStringLiteral("IE10"), true);
#endif
}

} // namespace dh
