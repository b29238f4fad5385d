#include "dialogs/DesktopOpen.h"

#include <QDesktopServices>
#include <utility>

namespace dialogs {

namespace {

DesktopOpener& opener() {
    static DesktopOpener installed;
    return installed;
}

} // namespace

bool OpenOnDesktop(const QUrl& url) {
    if (opener()) return opener()(url);
    return QDesktopServices::openUrl(url);
}

DesktopOpener SetDesktopOpener(DesktopOpener replacement) {
    return std::exchange(opener(), std::move(replacement));
}

} // namespace dialogs
