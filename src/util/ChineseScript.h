#pragma once
#include <QString>

namespace dh {

bool HasKana(const QString &text);
bool HasTraditionalChinese(const QString &text);
// Replaces each character that has a simplified form; the length never changes.
QString ToSimplifiedChinese(const QString &text);

} // namespace dh
