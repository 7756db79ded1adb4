#pragma once

#include <QByteArray>
#include <optional>

class QDateTime;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace lumivra {

// The answers the service lets us keep between refreshes, on disk under the user's cache folder, each under
// the address that gave it. Qt's network layer never sees it: a stored answer is used only while the
// server's own headers call it fresh (RFC 9111 §4.2), or after the server confirmed it with a 304 Not
// Modified to a request that asked. Any other answer, an error status above all, is the answer.
// Freshness is counted from when the answer arrived, by the clock the caller passes in.
namespace HttpCache {

// The stored answer for url while it is still fresh, to be used without asking the server.
std::optional<QByteArray> freshAnswer(const QUrl &url, const QDateTime &now);

// Asks the server to confirm the answer stored for the request's address (If-None-Match,
// If-Modified-Since) instead of resending it.
void addValidators(QNetworkRequest &request);

// The stored answer for the reply's address when the reply is a 304 to a request that asked to confirm it,
// and speaks of that answer (RFC 9111 §4.3.4); its headers and freshness are renewed from the 304. Empty,
// and nothing changed, otherwise: the 304 is then an unexpected status.
std::optional<QByteArray> confirmedAnswer(const QNetworkReply &reply, const QDateTime &now);

// After a success status: stores a 200 answer that the server lets us keep and either can confirm or calls
// fresh, in place of the earlier one for its address; forgets the earlier one otherwise. An error status
// keeps it, so it can still be confirmed once the service is back.
void keep(const QNetworkReply &reply, const QByteArray &body, const QDateTime &now);

} // namespace HttpCache

} // namespace lumivra
