#pragma once

#include <QString>

namespace lumivra {

// An informational alert with the platform's single default button, modal on the main thread; returns
// once the user closed it.
void showInformationalAlert(const QString &messageText, const QString &informativeText);

} // namespace lumivra
