#pragma once
// Desktop services and widget cosmetics, over Qt's desktop services.
#include <QString>
#include <QUrl>

class QWidget;
class QObject;
class QComboBox;
class QAbstractItemView;

namespace dh {

// Gives a control its designer name and returns it, for one-line construction.
template <class T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

void OpenWithDesktop(const QString &path, QWidget *owner);
bool ShowInFolder(const QString &path);
void OpenWebAddress(const QString &address, bool browserWindow);
void PlayNumberedSound(int number);
QString BrowseForFolder(QWidget *owner, const QString &initialFolder, const QString &title);
// The folder the picker of BrowseForFolder opens at for an initial folder.
QString FolderPickerStart(const QString &initialFolder);
bool IsWindowOpen(const QString &name);
// From the accepted closeEvent of a window that deletes itself on close: when
// its own code waits below (a page script, a load), it leaves the screen now,
// its waits are cancelled, and it is deleted once they have returned.
void DeleteOnCloseAfterWaits(QWidget *window);
// Pass a QPointer: it reads null once the control is gone.
bool IsControlAlive(const QObject *control);
void WidenDropDown(QComboBox *combo);
void StripeListRows(QAbstractItemView *list, int rowHeight);
QString OsVersionName();
// Operating-system description in the shape "<product> 版本:<release> (内部版本:<build>)[<width>位]".
QString OsDescription();
// "64" or "32".
QString OsWidthText();
// "Windows <version>" for a four-part kernel32.dll file version that names the
// system by itself (above 6, or 6.3 and later); empty otherwise.
QString WindowsNameFromKernelVersion(const QString &dottedVersion);
// The mailto: address of the suggestion mail for a publisher site; empty when
// the site gives no host to write to.
QUrl SuggestionMailUrl(const QString &publisherUrl);
void SendSuggestionMail();

} // namespace dh
