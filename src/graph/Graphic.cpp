#include "graph/Graphic.h"

TGraphics::TGraphics(QWidget* mainWindow) : QWidget(mainWindow, Qt::Tool) {
    setObjectName(QStringLiteral("Graphics"));
    setWindowTitle(QStringLiteral("View"));
}
