#pragma once

namespace lumivra {

// Pushes what was written through the descriptor (a file's data, or a folder's entries) to permanent
// storage, as far as the file system allows. False, with errno set, when it could not.
bool flushToDisk(int descriptor);

} // namespace lumivra
