#pragma once

#include <QByteArray>
#include <optional>

class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace lumivra {

// The answers the service lets us keep between refreshes, on disk under the user's cache folder. Qt's
// network layer never sees it: a stored answer is used only while the server's own headers call it fresh,
// or after the server confirmed it with 304 Not Modified. Any other answer, an error status above all,
// is the answer.
namespace HttpCache {

// The stored answer for url while it is still fresh, to be used without asking the server.
std::optional<QByteArray> freshAnswer(const QUrl &url);

// Asks the server to confirm the stored answer (If-None-Match, If-Modified-Since) instead of resending it.
void addValidators(QNetworkRequest &request);

// The stored answer for url after the server confirmed it with a 304; its freshness is renewed from that
// reply's headers. Empty when nothing is stored, so the 304 stays an unexpected status.
std::optional<QByteArray> confirmedAnswer(const QUrl &url, const QNetworkReply &reply);

// After a success status: stores a 200 answer that the server lets us keep and either can confirm or calls
// fresh, in place of the earlier one; forgets the earlier one otherwise. An error status keeps it, so it can
// still be confirmed once the service is back.
void keep(const QUrl &url, const QNetworkReply &reply, const QByteArray &body);

} // namespace HttpCache

} // namespace lumivra
