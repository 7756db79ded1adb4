#pragma once

#include "client/Errors.h"

#include <QRect>
#include <QString>
#include <memory>

namespace lumivra {

// The desktop refused, or could not be asked, to show a picture: a failure of this machine, never of the
// wallpaper service.
class DesktopError : public Error {
public:
    using Error::Error;
};

// One connected screen, as the desktop backends need to know it.
struct ScreenInfo {
    QString name;   // the output's name, e.g. "HDMI-1" (QScreen::name())
    QRect geometry; // in the virtual desktop's device pixels
    int index = 0;  // position in the screen list
};

// Sets one screen's desktop picture on one kind of desktop. Throws Error (usually DesktopError) with a
// clear message when the desktop refuses or cannot be asked; never reports a success it did not get.
class DesktopBackend {
public:
    virtual ~DesktopBackend() = default;
    virtual void setPicture(const QString &imageFile, const ScreenInfo &screen) = 0;
};

} // namespace lumivra
