// Files and folders opened with the desktop's own programs (a PDF viewer, the file manager) go through
// here, so that tests can see what would be opened without starting anything.
#pragma once

#include <QUrl>
#include <functional>

namespace dialogs {

using DesktopOpener = std::function<bool(const QUrl& url)>;

// Opens url with the program the desktop chooses for it (QDesktopServices::openUrl), or hands it to the
// installed opener; false when nothing could open it.
bool OpenOnDesktop(const QUrl& url);
// Replaces the desktop's opener; an empty one restores it. Returns the previous one.
DesktopOpener SetDesktopOpener(DesktopOpener opener);

} // namespace dialogs
