#include "app/QtNoise.h"

#include <QtGlobal>
#include <cstdio>

namespace app {

namespace {

QtMessageHandler passOn = nullptr;

void filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (IsQtNoise(message)) return;
    if (passOn) {
        passOn(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

} // namespace

bool IsQtNoise(const QString& message) {
    return message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
           message.startsWith(QLatin1String("PulseAudioService: "));
}

void KeepQtNoiseQuiet() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    passOn = qInstallMessageHandler(filter);
}

} // namespace app
