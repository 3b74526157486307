#pragma once
// Start-up preparation of the machine: on Windows the component registration
// and the browser engine mode; everywhere the operating-system width and
// description, computed once and kept for the run.
#include <QString>
#include <optional>

class QWidget;

namespace dh {

struct MachineInfo {
    QString width; // "64" or "32"
    QString description;
};
const MachineInfo &Machine();
void PrepareMachine();

// A full registry key name: "HKEY_…" root, a backslash, the sub-key path.
struct RegistryPath {
    QString root; // one of the seven predefined roots, upper case
    QString subKey;
};
// Nothing for a name that does not begin with "HKEY_", ends with a backslash
// or names no predefined root.
std::optional<RegistryPath> ParseRegistryPath(const QString &fullPath);
// The browser-emulation number of an engine name ("IE10", "IE9", "IE8", "IE7").
std::optional<quint32> BrowserEmulationValue(const QString &engine, bool forced);

#ifdef Q_OS_WIN
// Registry helpers; `view` is "32", "64" or empty (the system's width).
QString RegReadText(const QString &key, const QString &value, const QString &view = {});
QString RegReadNumber(const QString &key, const QString &value, const QString &view = {});
bool RegWriteNumber(const QString &key, const QString &value, quint32 number, const QString &view = {});
bool RegDeleteValue(const QString &key, const QString &value, const QString &view = {});
void SetBrowserEmulation(const QString &engine, bool forced);
bool 控件注册(const QString &file, QWidget *owner);
#endif

} // namespace dh
