#pragma once
// The truth files beside the saved pages: tab-separated, one header line.
#include <QList>
#include <QStringList>

namespace dh::test {

// Rows of a table under the fixture folder (path relative to it), header
// line left out; empty when the file cannot be read.
QList<QStringList> ReadFixtureTable(const QString &relativePath);

} // namespace dh::test
