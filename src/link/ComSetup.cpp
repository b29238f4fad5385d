#include "link/ComSetup.h"

TFormCom::TFormCom(QWidget* mainWindow) : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Com Setup"));
}
