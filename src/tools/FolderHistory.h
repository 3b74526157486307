#pragma once
// The folder history "SaveList.dat" shared by the save location dialog and
// the copy window: one folder per line, CR LF line ends, in the system code
// page (UTF-8 on POSIX, code page 936 on Windows).
#include <QString>
#include <QStringList>

#include <optional>

class QComboBox;

namespace dh
{

inline constexpr int kFolderHistoryMaxLines = 100;

// "SaveList.dat" in the program folder.
QString FolderHistoryPath();

// Entries trimmed, empty lines skipped, case-insensitive duplicates merged,
// at most the first 100 non-empty lines; nullopt when the file is missing or
// unreadable.
std::optional<QStringList> ReadFolderHistory(const QString &path = FolderHistoryPath());
// Replaces the whole file; an empty list writes one empty line.
bool WriteFolderHistory(const QStringList &folders, const QString &path = FolderHistoryPath());

// A missing file leaves the combo's list untouched.
void LoadFolderHistory(QComboBox *combo, const QString &path = FolderHistoryPath());
bool SaveFolderHistory(const QComboBox *combo, const QString &path = FolderHistoryPath());

} // namespace dh
