#include "shell/ShellWindows.h"

#include "about/AboutWindow.h"
#include "about/RightsHelpWindow.h"
#include "about/UsageWindow.h"
#include "shell/OptionsDialog.h"
#include "shell/StartWindow.h"
#include "tools/CacheViewerWindow.h"
#include "util/AppInfo.h"
#include "util/DesktopHelpers.h"
#include "util/Messages.h"
#include "util/WindowHub.h"

#include <QPointer>

namespace dh {
namespace {

// The dialog belongs to this call, not to the caller's stack frame: a caller
// that goes away while the dialog is open takes it along safely.
template <class Dialog, class... Args> void showModal(QWidget *caller, Args &&...args)
{
    QPointer<Dialog> dialog = new Dialog(std::forward<Args>(args)..., caller);
    Messages::RunModal(dialog);
    delete dialog.data();
}

} // namespace

void RegisterShellWindows()
{
    RegisterToolWindows();
    WindowHub::Register(WindowHub::Action::OpenOptions, [](QWidget *caller) { showModal<OptionsDialog>(caller); });
    WindowHub::Register(WindowHub::Action::OpenAbout, [](QWidget *caller) { showModal<AboutWindow>(caller); });
    WindowHub::Register(WindowHub::Action::OpenUsage, [](QWidget *caller) { showModal<UsageWindow>(caller); });
    WindowHub::Register(WindowHub::Action::OpenRightsHelp, [](QWidget *caller) {
        QString description = Machine().description;
        if (description.isEmpty())
            description = OsDescription();
        showModal<RightsHelpWindow>(caller, ExecutableName(), description);
    });
}

} // namespace dh
