#pragma once
// Desktop services and widget cosmetics, over Qt's desktop services.
#include <QString>

class QWidget;
class QObject;
class QComboBox;
class QAbstractItemView;

namespace dh {

void OpenWithDesktop(const QString &path, QWidget *owner);
bool ShowInFolder(const QString &path);
void OpenWebAddress(const QString &address, bool browserWindow);
void PlayNumberedSound(int number);
QString BrowseForFolder(QWidget *owner, const QString &initialFolder, const QString &title);
bool IsWindowOpen(const QString &name);
bool IsControlAlive(const QObject *control);
void WidenDropDown(QComboBox *combo);
void StripeListRows(QAbstractItemView *list, int rowHeight);
QString OsVersionName();
// Operating-system description in the shape "<product> 版本:<release> (内部版本:<build>)[<width>位]".
QString OsDescription();
void SendSuggestionMail();

} // namespace dh
