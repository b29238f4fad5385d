#include "link/ComSetup.h"

#include "config/RememberedSettings.h"
#include "dialogs/FileDialogs.h"
#include "link/synaser.h"

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

TFormCom::TFormCom(QWidget* mainWindow, const PortRoots& roots)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint), roots_(roots) {
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Com Setup"));
    setModal(false);
    // Wide enough for the stable names of USB adapters (/dev/serial/by-id/usb-...).
    setFixedSize(420, 190);

    QFont bold = font();
    bold.setBold(true);
    Label3 = new QLabel(QStringLiteral("TimeOut"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(bold);
    Label3->move(26, 18);
    Label1 = new QLabel(QStringLiteral("90 mS"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(92, 18, 76, Label1->sizeHint().height());
    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setRange(50, 500);
    ScrollBar1->setPageStep(1);
    ScrollBar1->setValue(90);
    ScrollBar1->setGeometry(26, 37, 142, 17);
    ScrollBar1->setFocusPolicy(Qt::StrongFocus); // Tab reaches it, the arrow keys move it
    Label2 = new QLabel(QStringLiteral("COM"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label2->move(26, 72);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(26, 91, 368, ComboBox1->sizeHint().height());
    ComboBox1->setToolTip(QStringLiteral("The detector's port: COM1.. (serial ports), a USB adapter, or any path"));
    CheckBox_Reconnect = new QCheckBox(QStringLiteral("&Reconnect automatically"), this);
    CheckBox_Reconnect->setObjectName(QStringLiteral("CheckBox_Reconnect"));
    CheckBox_Reconnect->setToolTip(QStringLiteral("When the link is lost, wait for the port to come back (an adapter "
                                                  "plugged in again) and connect again without asking"));
    CheckBox_Reconnect->setGeometry(26, 124, 368, CheckBox_Reconnect->sizeHint().height());
    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setGeometry(172, 157, 75, 25);
    Button_OK->setDefault(true);
    for (QLabel* l : {Label3, Label2}) l->adjustSize();

    // The ports that exist now, in numeric order; nothing is selected.
    RefreshPorts();
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QString());

    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TFormCom::ScrollBar1Change);
    connect(ComboBox1, &QComboBox::editTextChanged, this, &TFormCom::ComboBox1Change);
    connect(Button_OK, &QPushButton::clicked, this, &TFormCom::Button_OKClick);
    // Remembered as soon as it is ticked: the dialog may be closed without OK.
    connect(CheckBox_Reconnect, &QCheckBox::toggled, this, [this](bool on) {
        if (!remember_) return;
        QSettings settings;
        settings.setValue(QStringLiteral("port/reconnect"), on);
        remembered::Sync(settings);
    });
    ScrollBar1Change();
}

int TFormCom::TimeoutMs() const {
    return ScrollBar1->value();
}

bool TFormCom::ReconnectAutomatically() const {
    return CheckBox_Reconnect->isChecked();
}

void TFormCom::ScrollBar1Change() {
    Label1->setText(QString::number(ScrollBar1->value()) + QStringLiteral(" mS"));
}

namespace {

QString readLine(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readLine()).trimmed() : QString();
}

// "FT232R USB UART (0403:6001)" for a USB adapter, from the USB device above its tty in sysfs.
QString usbDescription(const PortRoots& roots, const QString& ttyName) {
    const QString iface =
        QFileInfo(QString::fromStdString(roots.sysTty) + QLatin1Char('/') + ttyName + QStringLiteral("/device"))
            .canonicalFilePath();
    if (iface.isEmpty()) return {};
    // The tty hangs off a USB interface (ttyACM) or a port below one (ttyUSB): walk up to the device.
    QDir dir(iface);
    for (int up = 0; up < 3; ++up, dir.cdUp()) {
        const QString vid = readLine(dir.filePath(QStringLiteral("idVendor")));
        if (vid.isEmpty()) continue;
        const QString pid = readLine(dir.filePath(QStringLiteral("idProduct")));
        QString product = readLine(dir.filePath(QStringLiteral("product")));
        if (product.isEmpty()) product = readLine(dir.filePath(QStringLiteral("manufacturer")));
        return (product.isEmpty() ? QString() : product + QLatin1Char(' ')) + QStringLiteral("(%1:%2)").arg(vid, pid);
    }
    return {};
}

} // namespace

QString TFormCom::PortDescription(const QString& port) const {
    const QString device = QString::fromStdString(TBlockSerial::DevicePathFor(port.toStdString()));
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QString() : usbDescription(roots_, QFileInfo(canonical).fileName());
}

void TFormCom::RefreshPorts() {
    const QString text = ComboBox1->currentText();
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->clear();
    for (const std::string& port : ListPorts(roots_)) {
        const QString path = QString::fromStdString(port);
        const QString description = usbDescription(roots_, QFileInfo(path).fileName());
        ComboBox1->addItem(description.isEmpty() ? path : path + QStringLiteral("  ") + description, path);
    }
    // The stable names of USB adapters, which stay the same whichever socket they are plugged into.
    const QDir byId(QString::fromStdString(roots_.dev) + QStringLiteral("/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = link.absoluteFilePath();
        const QString target = QFileInfo(link.canonicalFilePath()).fileName();
        const QString description = usbDescription(roots_, target);
        ComboBox1->addItem(path + QStringLiteral("  (") + target +
                               (description.isEmpty() ? QString() : QStringLiteral(", ") + description) +
                               QLatin1Char(')'),
                           path);
    }
    for (const QString& path : typed_)
        if (ComboBox1->findData(path) < 0) ComboBox1->addItem(path, path);
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(text);
}

void TFormCom::ComboBox1Change() {
    // A listed port names its path, whatever description its line shows beside it.
    const QString text = ComboBox1->currentText();
    const int listed = ComboBox1->findText(text);
    selectedPort_ = listed >= 0 ? ComboBox1->itemData(listed).toString().trimmed() : text.trimmed();
    if (!selectedPort_.isEmpty()) emit portChosen();
}

void TFormCom::Button_OKClick() {
    // A port that does not exist is said now, not only at Connect (an adapter may yet be plugged in).
    if (!selectedPort_.isEmpty() && !ProbePort(selectedPort_.toStdString(), roots_) &&
        !dialogs::AskYesNo(this, QStringLiteral("There is no port %1 on this machine now. Keep it anyway (an adapter "
                                                "that is not plugged in yet)?")
                                     .arg(selectedPort_))) {
        ComboBox1->setFocus();
        return;
    }
    // A port typed by hand stays in the list for the next time the dialog opens.
    if (!selectedPort_.isEmpty() && ComboBox1->findData(selectedPort_) < 0 && !typed_.contains(selectedPort_)) {
        typed_ << selectedPort_;
        const QSignalBlocker quiet(ComboBox1);
        const QString text = ComboBox1->currentText();
        ComboBox1->addItem(selectedPort_, selectedPort_);
        ComboBox1->setEditText(text);
    }
    if (remember_) {
        QSettings settings;
        settings.setValue(QStringLiteral("port/name"), selectedPort_);
        settings.setValue(QStringLiteral("port/timeoutMs"), ScrollBar1->value());
        settings.setValue(QStringLiteral("port/reconnect"), CheckBox_Reconnect->isChecked());
        remembered::Sync(settings);
    }
    hide();
}

void TFormCom::rememberBetweenRuns() {
    remember_ = true;
    QSettings settings;
    const int timeout = settings.value(QStringLiteral("port/timeoutMs"), ScrollBar1->value()).toInt();
    ScrollBar1->setValue(timeout);
    CheckBox_Reconnect->setChecked(settings.value(QStringLiteral("port/reconnect"), false).toBool());
    const QString port = settings.value(QStringLiteral("port/name")).toString();
    if (port.isEmpty()) return;
    if (ComboBox1->findData(port) < 0 && !typed_.contains(port)) {
        typed_ << port;
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->addItem(port, port);
        ComboBox1->setCurrentIndex(-1);
    }
    ComboBox1->setEditText(port); // Connect is possible at once
}

void TFormCom::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    RefreshPorts(); // an adapter plugged in since the last time appears
    ComboBox1->setFocus();
    ComboBox1->lineEdit()->selectAll();
    if (parentWidget()) move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
}
