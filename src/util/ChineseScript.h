#pragma once
#include <QString>
#include <QStringView>

namespace dh {

bool HasKana(const QString &text);
// The 2,170 traditional forms that HasTraditionalChinese looks for.
QStringView TraditionalCharacters();
bool HasTraditionalChinese(const QString &text);
// Replaces each character that has a simplified form; the length never changes.
QString ToSimplifiedChinese(const QString &text);

} // namespace dh
