#pragma once
#include <QString>

namespace dh {

// The application title: captions, settings root.
QString AppTitle();
// "major.minor.revision" of the running program.
QString VersionText();
int VersionMajor();
int VersionMinor();
int VersionRevision();
// Publisher's web site; empty when the build has none.
QString PublisherUrl();
// Replaces the build's publisher site for this run (tests point it at a local server).
void SetPublisherUrl(const QString &url);
// The executable's name without extension; names the product's folder on the publisher site.
QString ExecutableName();

} // namespace dh
