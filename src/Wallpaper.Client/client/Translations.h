#pragma once

namespace lumivra {

// Loads Qt's own translations for the system locale, so transport errors read in the user's language.
void installQtTranslations();

} // namespace lumivra
