#include "support/TestHelpers.h"

#include <QDir>

namespace dh::test {

QString FixturePath(const QString &relative)
{
    return QDir(QStringLiteral(DH_FIXTURES_DIR)).filePath(relative);
}

} // namespace dh::test
