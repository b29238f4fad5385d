#include "link/ComSetup.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>

TFormCom::TFormCom(QWidget* mainWindow, const PortRoots& roots)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("FormCom"));
    setWindowTitle(QStringLiteral("Com Setup"));
    setModal(false);
    setFixedSize(193, 170);

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
    Label2 = new QLabel(QStringLiteral("COM"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label2->move(26, 72);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(26, 91, 142, ComboBox1->sizeHint().height());
    Button_OK = new QPushButton(QStringLiteral("OK"), this);
    Button_OK->setObjectName(QStringLiteral("Button_OK"));
    Button_OK->setGeometry(56, 137, 75, 25);
    Button_OK->setDefault(true);
    for (QLabel* l : {Label3, Label2}) l->adjustSize();

    // The ports that exist now, in numeric order; nothing is selected.
    for (const std::string& port : ListPorts(roots)) ComboBox1->addItem(QString::fromStdString(port));
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QString());

    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TFormCom::ScrollBar1Change);
    connect(ComboBox1, &QComboBox::editTextChanged, this, &TFormCom::ComboBox1Change);
    connect(Button_OK, &QPushButton::clicked, this, &TFormCom::Button_OKClick);
    ScrollBar1Change();
}

int TFormCom::TimeoutMs() const {
    return ScrollBar1->value();
}

void TFormCom::ScrollBar1Change() {
    Label1->setText(QString::number(ScrollBar1->value()) + QStringLiteral(" mS"));
}

void TFormCom::ComboBox1Change() {
    selectedPort_ = ComboBox1->currentText().trimmed();
    if (!selectedPort_.isEmpty()) emit portChosen();
}

void TFormCom::Button_OKClick() {
    hide();
}

void TFormCom::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
}
