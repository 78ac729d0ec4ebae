#include "dialogs/add_entry.h"

#include <QCheckBox>
#include <QLayout>
#include <QPushButton>

#include <algorithm>

#include "dialogs/kestrane_resources.h"
#include "ipc/message/message.h"
#include "text/codec_text.h"
#include "ui_add_entry.h"

namespace {

bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

// Codecs spell some fields of a peer in two ways: the peer list's own and the one "addPeer" takes.
QString textOf(const Message::Attributes& peer, const char* name, const char* other) {
    return peer.get_qstring(peer.has(name) ? name : other, QString());
}

}  // namespace

AddEntry::AddEntry(QWidget* parent) : QDialog(parent), ui(new Ui::AddEntryClass) {
    initKestraneResources();
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->macAddressLineEdit->setEnabled(false);
    ui->problemLabel->hide();
    connect(ui->buttonOK, &QPushButton::clicked, this, &AddEntry::checkAndAccept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->braidlinkEnableCheckBox, &QCheckBox::stateChanged, this, &AddEntry::braidlinkEnableToggled);
    // A note about fields the operator has changed since would mislead.
    connect(ui->braidlinkEnableCheckBox, &QCheckBox::stateChanged, ui->problemLabel, &QLabel::hide);
    for (QLineEdit* line : {ui->lineName, ui->lineIPAddress, ui->linePassword, ui->macAddressLineEdit}) {
        connect(line, &QLineEdit::textChanged, ui->problemLabel, &QLabel::hide);
    }
}

AddEntry::~AddEntry() = default;

void AddEntry::setEntry(const Message& peer) {
    const Message::Attributes& a = peer.attributes();
    showCodecField(ui->lineName, a.get_qstring("name", QString()));
    showCodecField(ui->lineIPAddress, a.get_qstring("addr", QString()));
    showCodecField(ui->linePassword, textOf(a, "pw", "password"));
    ui->braidlinkEnableCheckBox->setChecked(a.get_bool(a.has("bdlink") ? "bdlink" : "use_bdlink", false));
    showCodecField(ui->macAddressLineEdit, a.get_qstring("unit", QString()));
    isNameRequired = true;
}

void AddEntry::showCodecField(QLineEdit* field, const QString& text) {
    const QString shown = shownCodecText(text);
    field->setText(shown);
    if (shown != text) {
        cutTexts_.insert(field, text);
    } else {
        cutTexts_.remove(field);
    }
}

QString AddEntry::fieldText(const QLineEdit* field) const {
    const auto cut = cutTexts_.constFind(field);
    if (cut != cutTexts_.constEnd() && field->text() == shownCodecText(*cut)) return *cut;
    return field->text();
}

void AddEntry::lockIdentity() {
    ui->macAddressLineEdit->setEnabled(false);
    ui->braidlinkEnableCheckBox->setEnabled(false);
}

// A codec keeps blanks around a name or an address as part of it: the peer would never be reached,
// or be listed under a name that looks like another's.
QString AddEntry::name() const {
    return fieldText(ui->lineName).trimmed();
}

QString AddEntry::address() const {
    return fieldText(ui->lineIPAddress).trimmed();
}

QString AddEntry::password() const {
    return fieldText(ui->linePassword);
}

QString AddEntry::unit() const {
    return fieldText(ui->macAddressLineEdit);
}

bool AddEntry::isBraidlinkTicked() const {
    return ui->braidlinkEnableCheckBox->isChecked();
}

bool AddEntry::usesBraidlink() const {
    return ui->braidlinkEnableCheckBox->isEnabled() && isBraidlinkTicked();
}

void AddEntry::braidlinkEnableToggled(int state) {
    if (state == Qt::Unchecked || state == Qt::PartiallyChecked) ui->macAddressLineEdit->setEnabled(false);
    if (state == Qt::Checked) ui->macAddressLineEdit->setEnabled(true);
}

QString AddEntry::problem() const {
    const std::pair<const QLabel*, QString> fields[] = {{ui->label_3, name()},
                                                        {ui->label, address()},
                                                        {ui->label_2, password()},
                                                        {ui->macAddrLabel, unit()}};
    for (const auto& [label, text] : fields) {
        if (hasControlCharacter(text)) return tr("\"%1\" must be text without control characters.").arg(label->text());
    }
    const QString typedAddress = address();
    if (std::any_of(typedAddress.cbegin(), typedAddress.cend(), [](QChar c) { return c.isSpace(); })) {
        return tr("Enter the peer's \"IP Address\" without blanks.");
    }
    if (isNameRequired && isBlank(name())) return tr("Enter a \"Name\" for the peer.");
    if (usesBraidlink() && isBlank(unit())) return tr("\"Use Braidlink\" needs the remote unit's \"MAC Address\".");
    if (!usesBraidlink() && isBlank(address())) return tr("Enter the peer's \"IP Address\".");
    return {};
}

void AddEntry::checkAndAccept() {
    const QString refused = problem();
    if (refused.isEmpty()) {
        accept();
        return;
    }
    ui->problemLabel->setText(refused);
    ui->problemLabel->show();
    // A wrapped note needs more height than the open dialog has: grow it, never shrink it.
    layout()->activate();
    resize(width(), std::max(height(), heightForWidth(width())));
}
