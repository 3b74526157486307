#include "util/WindowHub.h"

#include <QHash>

namespace dh {
namespace {
struct State {
    QHash<int, WindowHub::Handler> handlers;
    std::function<void(bool)> cacheClearer;
    std::function<bool(const HandOffItem &)> handOff;
    std::function<void(bool)> showDownloads;
};
State &state()
{
    static State s;
    return s;
}
} // namespace

void WindowHub::Register(Action action, Handler handler) { state().handlers[int(action)] = std::move(handler); }
bool WindowHub::Has(Action action) { return bool(state().handlers.value(int(action))); }

bool WindowHub::Run(Action action, QWidget *caller)
{
    const Handler h = state().handlers.value(int(action));
    if (!h)
        return false;
    h(caller);
    return true;
}

void WindowHub::SetCacheClearer(std::function<void(bool)> clearer) { state().cacheClearer = std::move(clearer); }
bool WindowHub::ClearBrowserCache(bool report)
{
    if (!state().cacheClearer)
        return false;
    state().cacheClearer(report);
    return true;
}

void WindowHub::SetHandOff(std::function<bool(const HandOffItem &)> handOff) { state().handOff = std::move(handOff); }
bool WindowHub::HasHandOff() { return bool(state().handOff); }
bool WindowHub::HandOff(const HandOffItem &item) { return state().handOff ? state().handOff(item) : false; }

void WindowHub::SetShowDownloads(std::function<void(bool)> show) { state().showDownloads = std::move(show); }
void WindowHub::ShowDownloads(bool restore)
{
    if (state().showDownloads)
        state().showDownloads(restore);
}

} // namespace dh
