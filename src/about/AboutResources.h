#pragma once
// Pictures and texts of the about and help windows, kept as Qt resources.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace dh {

// The program's icon (windows, about window).
QIcon AppIcon();
QPixmap AppPicture(int size);
// The run-rights picture of Net352.
QPixmap RightsSettingsPicture();
// The usage notes of fUse.
QString UsageNotes();

} // namespace dh
