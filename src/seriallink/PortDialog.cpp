#include "seriallink/PortDialog.h"

#include "dialogs/FileDialogs.h"
#include "protocol/SerialPort.h"
#include "remembered/Remembered.h"
#include "seriallink/PortListing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QWindow>
#include <algorithm>

namespace seriallink {

PortDialog::PortDialog(QWidget* mainWindow, const protocol::PortRoots& roots)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow), roots_(roots) {
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Com Setup"));
    // Modal: nothing of the main window is used while a port is being chosen, and every box of the program
    // opens over it.
    setModal(true);
    // Wide enough for the stable names of USB adapters (/dev/serial/by-id/usb-...).
    setFixedSize(420, 190);

    QFont bold = font();
    bold.setBold(true);
    timeoutCaption_ = new QLabel(QStringLiteral("TimeOut"), this);
    timeoutCaption_->setObjectName(QStringLiteral("Label3"));
    timeoutCaption_->setFont(bold);
    timeoutCaption_->move(26, 18);
    timeoutLabel_ = new QLabel(QStringLiteral("90 mS"), this);
    timeoutLabel_->setObjectName(QStringLiteral("Label1"));
    timeoutLabel_->setGeometry(92, 18, 76, timeoutLabel_->sizeHint().height());
    timeoutBar_ = new QScrollBar(Qt::Horizontal, this);
    timeoutBar_->setObjectName(QStringLiteral("ScrollBar1"));
    timeoutBar_->setRange(50, 500);
    timeoutBar_->setPageStep(1);
    timeoutBar_->setValue(90);
    timeoutBar_->setGeometry(26, 37, 142, 17);
    timeoutBar_->setFocusPolicy(Qt::StrongFocus); // Tab reaches it, the arrow keys move it
    portCaption_ = new QLabel(QStringLiteral("COM"), this);
    portCaption_->setObjectName(QStringLiteral("Label2"));
    portCaption_->setFont(bold);
    portCaption_->move(26, 72);
    portCombo_ = new QComboBox(this);
    portCombo_->setObjectName(QStringLiteral("ComboBox1"));
    portCombo_->setEditable(true);
    portCombo_->setInsertPolicy(QComboBox::NoInsert);
    portCombo_->setGeometry(26, 91, 368, portCombo_->sizeHint().height());
    portCombo_->setToolTip(QStringLiteral("The detector's port: COM1.. (serial ports), a USB adapter, or any path"));
    reconnectBox_ = new QCheckBox(QStringLiteral("&Reconnect automatically"), this);
    reconnectBox_->setObjectName(QStringLiteral("CheckBox_Reconnect"));
    reconnectBox_->setToolTip(QStringLiteral("When the link is lost, wait for the port to come back (an adapter "
                                             "plugged in again) and connect again without asking"));
    reconnectBox_->setGeometry(26, 124, 368, reconnectBox_->sizeHint().height());
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("Button_OK"));
    okButton_->setGeometry(126, 157, 75, 25);
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("Button_Cancel"));
    cancelButton_->setGeometry(219, 157, 75, 25);
    cancelButton_->setAutoDefault(false);
    for (QLabel* l : {timeoutCaption_, portCaption_}) l->adjustSize();

    // The ports that exist now, in numeric order; nothing is selected.
    RefreshPorts();
    portCombo_->setCurrentIndex(-1);
    portCombo_->setEditText(QString());

    connect(timeoutBar_, &QScrollBar::valueChanged, this, &PortDialog::timeoutChanged);
    connect(portCombo_, &QComboBox::editTextChanged, this, &PortDialog::portChanged);
    connect(okButton_, &QPushButton::clicked, this, &PortDialog::okClicked);
    connect(cancelButton_, &QPushButton::clicked, this, &PortDialog::reject);
    // Remembered as soon as it is ticked: the dialog may be closed without OK.
    connect(reconnectBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (!remember_) return;
        QSettings settings;
        settings.setValue(QStringLiteral("port/reconnect"), on);
        remembered::Sync(settings);
    });
    timeoutChanged();
}

int PortDialog::TimeoutMs() const {
    return timeoutBar_->value();
}

bool PortDialog::ReconnectAutomatically() const {
    return reconnectBox_->isChecked();
}

void PortDialog::timeoutChanged() {
    timeoutLabel_->setText(QString::number(timeoutBar_->value()) + QStringLiteral(" mS"));
}

QString PortDialog::PortDescription(const QString& port) const {
    return AdapterDescription(roots_, port);
}

void PortDialog::RefreshPorts() {
    const QString text = portCombo_->currentText();
    const QSignalBlocker quiet(portCombo_);
    portCombo_->clear();
    const auto listed = ListedPorts(roots_);
    // The ports used lately first, as the port list names them where it does.
    for (const QString& port : recent_) {
        const auto known =
            std::find_if(listed.begin(), listed.end(), [&port](const auto& p) { return p.second == port; });
        portCombo_->addItem((known != listed.end() ? known->first : port) + QStringLiteral("  (used lately)"), port);
    }
    for (const auto& [shown, name] : listed)
        if (!recent_.contains(name)) portCombo_->addItem(shown, name);
    for (const QString& path : typed_)
        if (portCombo_->findData(path) < 0) portCombo_->addItem(path, path);
    portCombo_->setCurrentIndex(-1);
    portCombo_->setEditText(text);
}

void PortDialog::NoteConnected(const QString& port) {
    constexpr int Kept = 5;
    if (port.isEmpty() || recent_.value(0) == port) return;
    recent_.removeAll(port);
    recent_.prepend(port);
    while (recent_.size() > Kept) recent_.removeLast();
    if (!remember_) return;
    QSettings settings;
    settings.setValue(QStringLiteral("port/recent"), recent_);
    remembered::Sync(settings);
}

void PortDialog::portChanged() {
    // A listed port names its path, whatever description its line shows beside it.
    const QString text = portCombo_->currentText();
    const int listed = portCombo_->findText(text);
    selectedPort_ = listed >= 0 ? portCombo_->itemData(listed).toString().trimmed() : text.trimmed();
    if (!selectedPort_.isEmpty()) emit portChosen();
}

void PortDialog::okClicked() {
    // A port that does not exist is said now, not only at Connect (an adapter may yet be plugged in).
    if (!selectedPort_.isEmpty() && !protocol::ProbePort(selectedPort_.toStdString(), roots_) &&
        !dialogs::AskYesNo(this,
                           QStringLiteral("%1 Keep it anyway (an adapter that is not plugged in yet)?")
                               .arg(QString::fromStdString(protocol::MissingPortText(selectedPort_.toStdString()))))) {
        portCombo_->setFocus();
        return;
    }
    // A port typed by hand stays in the list for the next time the dialog opens.
    if (!selectedPort_.isEmpty() && portCombo_->findData(selectedPort_) < 0 && !typed_.contains(selectedPort_)) {
        typed_ << selectedPort_;
        const QSignalBlocker quiet(portCombo_);
        const QString text = portCombo_->currentText();
        portCombo_->addItem(selectedPort_, selectedPort_);
        portCombo_->setEditText(text);
    }
    if (remember_) {
        QSettings settings;
        settings.setValue(QStringLiteral("port/name"), selectedPort_);
        settings.setValue(QStringLiteral("port/timeoutMs"), timeoutBar_->value());
        settings.setValue(QStringLiteral("port/reconnect"), reconnectBox_->isChecked());
        remembered::Sync(settings);
    }
    accept();
}

void PortDialog::reject() {
    // (Each restored choice runs its handler, as a change by hand would.)
    timeoutBar_->setValue(opened_.timeout);
    reconnectBox_->setChecked(opened_.reconnect);
    if (portCombo_->currentText() != opened_.text) portCombo_->setEditText(opened_.text);
    QDialog::reject();
}

void PortDialog::rememberBetweenRuns() {
    remember_ = true;
    QSettings settings;
    const int timeout = settings.value(QStringLiteral("port/timeoutMs"), timeoutBar_->value()).toInt();
    timeoutBar_->setValue(timeout);
    reconnectBox_->setChecked(settings.value(QStringLiteral("port/reconnect"), false).toBool());
    recent_ = settings.value(QStringLiteral("port/recent")).toStringList();
    RefreshPorts();
    const QString port = settings.value(QStringLiteral("port/name")).toString();
    if (port.isEmpty()) return;
    if (portCombo_->findData(port) < 0 && !typed_.contains(port)) {
        typed_ << port;
        const QSignalBlocker quiet(portCombo_);
        portCombo_->addItem(port, port);
        portCombo_->setCurrentIndex(-1);
    }
    portCombo_->setEditText(port); // Connect is possible at once
}

void PortDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    RefreshPorts(); // an adapter plugged in since the last time appears
    opened_ = {portCombo_->currentText(), timeoutBar_->value(), reconnectBox_->isChecked()};
    portCombo_->setFocus();
    portCombo_->lineEdit()->selectAll();
    if (!mainWindow_) return;
    // A dialog of the main window for the window system (it stays with it), centred on it.
    if (windowHandle() && mainWindow_->windowHandle()) windowHandle()->setTransientParent(mainWindow_->windowHandle());
    move(mainWindow_->geometry().center() - QPoint(width() / 2, height() / 2));
}

} // namespace seriallink

#include "moc_PortDialog.cpp"
