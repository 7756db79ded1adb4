#pragma once

class QNetworkAccessManager;

namespace lumivra {

// The one network access manager of the process: long-lived, so replies can be released safely with
// deleteLater, and redirects followed (never from https down to http). It has no cache of its own:
// HttpCache decides which stored answers may stand in for the server's.
QNetworkAccessManager &sharedNetworkAccessManager();

// Ends every request still under way, as the program quits: each fails as cancelled, so whatever awaits it
// unwinds and removes what it left half done.
void abortAllRequests();

} // namespace lumivra
