// The network components of the program live in this folder.
namespace dh { [[maybe_unused]] static int kAboutFolder = 0; }
