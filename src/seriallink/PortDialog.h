// The "Com Setup" dialog: the serial port to use and the reply time-out.
#pragma once

#include "protocol/PortList.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace seriallink {

class PortDialog : public QDialog {
    Q_OBJECT
  public:
    // A window of its own, modal, kept above the main window and centred on it when shown, but not part of
    // its widget tree: the two windows' object names stand apart. OK keeps the choices, Cancel takes them back.
    explicit PortDialog(QWidget* mainWindow, const protocol::PortRoots& roots = {});

    void timeoutChanged();
    void portChanged();
    void okClicked();
    // Cancel, Escape or the close button: the port, the time-out and the reconnect choice go back to what
    // they were when the dialog opened.
    void reject() override;

    // The port name chosen last (the combo box's text at its last change, or the path of the
    // listed port it names), empty at start.
    QString SelectedPort() const { return selectedPort_; }
    // Lists the ports that exist now (USB adapters with their product and VID:PID), keeping a
    // path the user typed. Runs each time the dialog opens.
    void RefreshPorts();
    // A link came up on port: it leads the list from now on (the last few such ports, kept for the next
    // run when the dialog remembers; a demo's private port is not).
    void NoteConnected(const QString& port);
    // Keeps the port and the time-out chosen with OK for the next run, and starts with the last ones.
    void rememberBetweenRuns();
    // The reply time-out in milliseconds: the scroll bar's position itself.
    int TimeoutMs() const;
    // Whether a lost link connects again by itself once its port is back (off unless chosen).
    bool ReconnectAutomatically() const;
    // The adapter behind a port ("FT232R USB UART (0403:6001)"), where the system tells; else empty.
    QString PortDescription(const QString& port) const;

    QLabel* timeoutLabel() const { return timeoutLabel_; }
    QLabel* portCaption() const { return portCaption_; }
    QLabel* timeoutCaption() const { return timeoutCaption_; }
    QScrollBar* timeoutBar() const { return timeoutBar_; }
    QComboBox* portCombo() const { return portCombo_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QCheckBox* reconnectBox() const { return reconnectBox_; }

  signals:
    // A port name was chosen: Connect becomes possible.
    void portChosen();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* timeoutLabel_ = nullptr;
    QLabel* portCaption_ = nullptr;
    QLabel* timeoutCaption_ = nullptr;
    QScrollBar* timeoutBar_ = nullptr;
    QComboBox* portCombo_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QCheckBox* reconnectBox_ = nullptr;
    struct {
        QString text;
        int timeout = 90;
        bool reconnect = false;
    } opened_; // the choices when the dialog opened
    QPointer<QWidget> mainWindow_;
    QString selectedPort_;
    protocol::PortRoots roots_;
    QStringList typed_;  // paths the user typed, kept in the list
    QStringList recent_; // the ports links came up on, the newest first
    bool remember_ = false;
};

} // namespace seriallink
