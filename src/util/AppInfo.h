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

} // namespace dh
