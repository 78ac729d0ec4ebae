#include "dialogs/add_device.h"

#include <QFileInfo>
#include <QIntValidator>
#include <QPushButton>

#include <string>

#include "dialogs/alert_address_list.h"
#include "dialogs/kestrane_resources.h"
#include "ipc/net/ipc_address.h"
#include "sessions/ipc_object.h"
#include "ui_add_device.h"

AddDevice::AddDevice(QWidget* parent)
    : QDialog(parent), ui(new Ui::AddDeviceClass), portValidator(new QIntValidator(this)) {
    initKestraneResources();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->tabWidget->removeTab(ui->tabWidget->indexOf(ui->emailTab));
    setModal(true);
    setWindowTitle(tr("Add Codec"));

    ui->linePort->setText(QStringLiteral("80"));
    ui->lineIPAddress->clear();
    ui->lineIPAddress->setPlaceholderText(QStringLiteral("0.0.0.0"));
    portValidator->setRange(kMinPort, kMaxPort);
    ui->linePort->setValidator(portValidator);
    ui->errorIPAddress->hide();
    ui->errorPort->hide();

    connect(ui->buttonOK, &QPushButton::clicked, this, &AddDevice::checkAndAccept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->lineIPAddress, &QLineEdit::textChanged, ui->errorIPAddress, &QLabel::hide);
    connect(ui->linePort, &QLineEdit::textChanged, ui->errorPort, &QLabel::hide);
    connect(ui->addressList, &QListWidget::customContextMenuRequested, this, &AddDevice::addressListContextMenu);
    connect(ui->actionRemoveAddress, &QAction::triggered, this, &AddDevice::removeAddress);
    connect(ui->addressList, &QListWidget::itemDoubleClicked, this, &AddDevice::editItem);
    connect(ui->addressAddButton, &QPushButton::clicked, this, &AddDevice::emailAddClicked);
    connect(ui->addressLine, &QLineEdit::textChanged, this, &AddDevice::lineEditChanged);

    setTabOrder(ui->lineIPAddress, ui->linePort);
    setTabOrder(ui->linePort, ui->buttonOK);
    setTabOrder(ui->buttonOK, ui->buttonCancel);
    ui->lineIPAddress->setFocus();
}

AddDevice::~AddDevice() = default;

QString AddDevice::address() const {
    return ui->lineIPAddress->text().trimmed();
}

int AddDevice::port() const {
    return ui->linePort->text().toInt();
}

QString AddDevice::audioConnectFile() const {
    return ui->soundFields->file(AUDIO_START);
}

QString AddDevice::audioDisconnectFile() const {
    return ui->soundFields->file(AUDIO_END);
}

QString AddDevice::KTConnectFile() const {
    return ui->soundFields->file(DEVICE_ONLINE);
}

QString AddDevice::KTDisconnectFile() const {
    return ui->soundFields->file(DEVICE_OFFLINE);
}

void AddDevice::setAudioConnectFile(const QString& path) {
    ui->soundFields->setFile(AUDIO_START, path);
}

void AddDevice::setAudioDisconnectFile(const QString& path) {
    ui->soundFields->setFile(AUDIO_END, path);
}

void AddDevice::setKTConnectFile(const QString& path) {
    ui->soundFields->setFile(DEVICE_ONLINE, path);
}

void AddDevice::setKTDisconnectFile(const QString& path) {
    ui->soundFields->setFile(DEVICE_OFFLINE, path);
}

void AddDevice::setFleetAddresses(const QList<std::pair<QString, int>>& addresses) {
    fleetAddresses = addresses;
}

void AddDevice::storeSoundsTo(IPCObject& session) const {
    for (const KT_EVENT kind : {AUDIO_START, AUDIO_END, DEVICE_ONLINE, DEVICE_OFFLINE}) {
        const QString path = ui->soundFields->file(kind);
        if (QFileInfo(path).isFile()) session.setAlertSound(kind, path);
    }
}

QStringList AddDevice::emailAddresses() const {
    return addressTexts(*ui->addressList);
}

QString AddDevice::addressProblem(const QString& text) {
    const std::string host = text.trimmed().toStdString();
    if (host.empty()) return tr("Enter the codec's IP address.");
    // The same conversion the connection makes, so that what passes here can be connected to.
    IPCAddress ipv4(AF_INET);
    IPCAddress ipv6(AF_INET6);
    if (ipv4.set_host(host) || ipv6.set_host(host)) return {};
    return tr("Enter a numeric IPv4 or IPv6 address: host names are not looked up.");
}

QString AddDevice::portProblem(const QString& text) {
    bool is_number = false;
    const int port = text.trimmed().toInt(&is_number);
    if (is_number && port >= kMinPort && port <= kMaxPort) return {};
    return tr("Enter a port from %1 to %2.").arg(kMinPort).arg(kMaxPort);
}

QString AddDevice::fleetProblem() const {
    // Compared as addresses, so that "::1" finds "0:0:0:0:0:0:0:1"; a text that is no address (a
    // hand-edited file) only finds itself.
    const IPCAddress wanted(address().toStdString(), 0, 0);
    for (const auto& [known_host, known_port] : fleetAddresses) {
        const IPCAddress known(known_host.toStdString(), 0, 0);
        const bool is_same_host = known.is_valid() ? known == wanted : known_host == address();
        if (is_same_host && known_port == port()) {
            return tr("A codec at this address and port is already in the fleet.");
        }
    }
    return {};
}

bool AddDevice::showProblem(QLabel* note, const QString& problem) {
    note->setText(problem);
    note->setVisible(!problem.isEmpty());
    return problem.isEmpty();
}

void AddDevice::checkAndAccept() {
    // Every refusal is shown at once; the focus goes to the first refused field.
    QLineEdit* refused_sound = ui->soundFields->refuseMissingFiles();
    QString address_problem = addressProblem(ui->lineIPAddress->text());
    const QString port_problem = portProblem(ui->linePort->text());
    if (address_problem.isEmpty() && port_problem.isEmpty()) address_problem = fleetProblem();
    const bool is_address_ok = showProblem(ui->errorIPAddress, address_problem);
    const bool is_port_ok = showProblem(ui->errorPort, port_problem);
    if (!is_address_ok || !is_port_ok) {
        ui->tabWidget->setCurrentWidget(ui->generalTab);
        (is_address_ok ? ui->linePort : ui->lineIPAddress)->setFocus();
    } else if (refused_sound) {
        ui->tabWidget->setCurrentWidget(ui->soundTab);
        refused_sound->setFocus();
    } else {
        accept();
    }
}

void AddDevice::lineEditChanged(const QString& text) {
    ui->addressAddButton->setEnabled(isAddableAlertAddress(text));
}

void AddDevice::emailAddClicked() {
    appendTypedAddress(*ui->addressLine, *ui->addressList);
}

void AddDevice::editItem(QListWidgetItem* item) {
    ui->addressList->editItem(item);
}

void AddDevice::addressListContextMenu(const QPoint& position) {
    popUpAddressMenu(*ui->addressList, *ui->actionRemoveAddress, position);
}

void AddDevice::removeAddress() {
    removeSelectedAddress(*ui->addressList);
}
