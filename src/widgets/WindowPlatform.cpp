#include "widgets/WindowPlatform.h"

#include <QGuiApplication>
#include <QStringList>

namespace widgets {

bool PlatformFadesWindows(const QString& platform) {
    // The others (offscreen, minimal, vnc, linuxfb, eglfs, wayland) would only warn at every step.
    return QStringList{QStringLiteral("xcb"), QStringLiteral("windows"), QStringLiteral("cocoa")}.contains(platform);
}

bool PlatformFadesWindows() {
    return PlatformFadesWindows(QGuiApplication::platformName());
}

bool PlatformPlacesWindows(const QString& platform) {
    return !platform.startsWith(QLatin1String("wayland"));
}

bool PlatformPlacesWindows() {
    return PlatformPlacesWindows(QGuiApplication::platformName());
}

} // namespace widgets
