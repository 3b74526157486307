#pragma once
#include <QString>

namespace dh::test {

// Folder of the shared fixtures (pages, files, header vectors).
QString FixturePath(const QString &relative);

} // namespace dh::test
