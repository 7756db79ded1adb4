#pragma once

#include <QString>
#include <chrono>

namespace lumivra::RunningCopyBus {

// Desktops find an application at its id, as a bus name, with the object path spelt from it.
inline const QString service = QStringLiteral("site.lumivra.wallpaper");
inline const QString path = QStringLiteral("/site/lumivra/wallpaper");
inline const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
// What org.freedesktop.Application cannot answer: the state of the last refresh.
inline const QString statusInterface = QStringLiteral("site.lumivra.wallpaper.Status");

// How long another start waits for the running copy: to claim its name after it started, to answer, to
// leave the bus after it was told to quit.
inline constexpr std::chrono::seconds answerDeadline{10};

} // namespace lumivra::RunningCopyBus
