// TGraphics, the "View" window with the sweeping signal graph.
#pragma once

#include <QWidget>

class TGraphics : public QWidget {
    Q_OBJECT
public:
    explicit TGraphics(QWidget* mainWindow);
};
