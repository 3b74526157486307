#include "support/FixtureTables.h"

#include <QFile>

namespace dh::test {

QList<QStringList> ReadFixtureTable(const QString &relativePath)
{
    QFile file(QStringLiteral(DH_FIXTURES_DIR "/") + relativePath);
    QList<QStringList> rows;
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].trimmed().isEmpty())
            rows << lines[i].split(QLatin1Char('\t'));
    return rows;
}

} // namespace dh::test
