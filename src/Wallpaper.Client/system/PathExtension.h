#pragma once

#include <QString>

namespace lumivra {

// The file-name extension of a path, split the way macOS's Foundation splits it so that both platforms
// name cached files alike: the text after the last "." of the last component, trailing "/" ignored.
// A component whose only "." is its first character (".bashrc") is a hidden name, not an extension, and
// one that ends in "." ("a.") has an empty extension; both give "".
QString pathExtension(const QString &path);

} // namespace lumivra
