#pragma once
// Windows of higher layers register here what lower layers may ask for
// (show the start window, open the options dialog, clear the browser cache ...),
// so the libraries keep their one-way dependencies. An entry that nobody
// registered does nothing and reports false.
#include <QString>
#include <functional>

class QWidget;

namespace dh {

struct HandOffItem {
    QString address;
    QString title;
    QString type;
    QString folder;
    QString referrer;
};

class WindowHub {
public:
    enum class Action {
        ShowStartWindow,
        ShowWebSearch,
        OpenOptions,
        ShowDownloadWindow,   // make the download window visible (created when missing)
        OpenCacheViewer,
        OpenAbout,
        OpenUsage,
        OpenRightsHelp,
    };
    using Handler = std::function<void(QWidget *caller)>;

    static void Register(Action action, Handler handler);
    static bool Has(Action action);
    static bool Run(Action action, QWidget *caller = nullptr);

    // Clear the whole browser cache; with `report`, tell the user when done.
    static void SetCacheClearer(std::function<void(bool report)> clearer);
    static bool ClearBrowserCache(bool report);

    // The download list's entry point for analysed rows.
    static void SetHandOff(std::function<bool(const HandOffItem &)> handOff);
    static bool HasHandOff();
    static bool HandOff(const HandOffItem &item);
    // After an analysis run: redraw the list, show a hidden window (restore a
    // minimized one only when asked).
    static void SetShowDownloads(std::function<void(bool restore)> show);
    static void ShowDownloads(bool restore);
};

} // namespace dh
