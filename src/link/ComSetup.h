// TFormCom, the "Com Setup" dialog: the serial port to use and the reply time-out.
#pragma once

#include <QDialog>

class TFormCom : public QDialog {
    Q_OBJECT
public:
    explicit TFormCom(QWidget* mainWindow);
};
