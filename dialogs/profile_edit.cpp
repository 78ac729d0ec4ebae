#include "dialogs/profile_edit.h"

#include <QSignalBlocker>
#include <QTreeWidget>

#include "dialogs/message_box.h"
#include "dialogs/profile_tree.h"
#include "text/codec_text.h"
#include "ui_profile_edit.h"

namespace {

constexpr int kLabelColumnWidth = 250;
constexpr int kValueColumnWidth = 200;
const QString kGlobalSide = QStringLiteral("settings");

Ui::ProfileEditClass* builtForm(QDialog* dialog) {
    auto* form = new Ui::ProfileEditClass;
    form->setupUi(dialog);
    return form;
}

// A select option's choices in the codec's order (SettingOption keeps them last first).
OptionEditorPages::Entries choicesInOrder(const SettingOption& option) {
    OptionEditorPages::Entries entries;
    for (auto each = option.choices.crbegin(); each != option.choices.crend(); ++each) entries.append(*each);
    return entries;
}

}  // namespace

ProfileEdit::ProfileEdit(QWidget* parent) : QDialog(parent), ui(builtForm(this)), pages(*ui) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->treeProfileItems->setColumnWidth(0, kLabelColumnWidth);
    ui->treeProfileItems->setColumnWidth(1, kValueColumnWidth);
    ui->groupEdit->setEnabled(false);
    ui->spinValue->installEventFilter(this);
    connectWidgets();
}

ProfileEdit::~ProfileEdit() = default;

void ProfileEdit::connectWidgets() {
    connect(ui->checkAdvanced, &QCheckBox::toggled, this, &ProfileEdit::populateProfileItems);
    connect(ui->treeProfileItems, &QTreeWidget::itemSelectionChanged, this, &ProfileEdit::changeSelection);
    connect(ui->buttonDefault, &QPushButton::clicked, this, &ProfileEdit::defaultClicked);
    connect(ui->buttonStringClear, &QPushButton::clicked, this, &ProfileEdit::clearStringText);
    connect(ui->spinValue, qOverload<int>(&QSpinBox::valueChanged), this, &ProfileEdit::intChanged);
    // A number typed again replaces the one the box refused before, even when it is the value the
    // box already held (which changes no value).
    connect(ui->spinValue->findChild<QLineEdit*>(), &QLineEdit::textEdited, this,
            [this] { pages.forgetRefusedNumber(shownKey()); });
    connect(ui->checkValue, &QCheckBox::stateChanged, this, &ProfileEdit::boolChanged);
    connect(ui->lineValue, &QLineEdit::textChanged, this, &ProfileEdit::textChanged);
    connect(ui->comboCodec, qOverload<int>(&QComboBox::currentIndexChanged), this, &ProfileEdit::codecChanged);
    connect(ui->comboValue, qOverload<int>(&QComboBox::currentIndexChanged), this, &ProfileEdit::selectChanged);
    connect(ui->buttonSave, &QPushButton::clicked, this, &ProfileEdit::accept);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &ProfileEdit::reject);
}

void ProfileEdit::startEdit(const Message& profile, const ProfileCodecData& codecData) {
    profile_ = profile;
    data = codecData;
    selectedKey.clear();
    edits.clear();
    pages.forgetRefusedNumbers();
    populateProfileItems();
}

// ------------------------------------------------------------------------------------------------
// The tree

void ProfileEdit::populateProfileItems() {
    QTreeWidget* tree = ui->treeProfileItems;
    QTreeWidgetItem* current = nullptr;
    {
        // The old rows go without a selection change, so the editor keeps its page and its focus
        // until the new row is chosen.
        const QSignalBlocker quiet(tree);
        current = ProfileTree::populate(*tree, profile_, data, ui->checkAdvanced->isChecked(), selectedKey);
    }
    if (!current && tree->topLevelItem(0)) current = tree->topLevelItem(0)->child(0);  // "Profile Name"
    tree->setCurrentItem(current);
}

void ProfileEdit::changeSelection() {
    const QTreeWidgetItem* row = ui->treeProfileItems->selectedItems().value(0);
    if (row) selectedKey = ProfileTree::rowKey(*row);
    editSelected();
    if (!row || !row->parent()) {
        showNoSetting();
        return;
    }
    // The global settings have no default.
    pages.setValueLabelsVisible(true, locale != kGlobalSide);
}

void ProfileEdit::editSelected() {
    const QTreeWidgetItem* row = ui->treeProfileItems->selectedItems().value(0);
    const bool isEditable = row && row->parent();
    ui->groupEdit->setEnabled(isEditable);
    if (!isEditable) return;
    populateProfileItem(row->data(0, ProfileTree::kChannelRole).toString(),
                        row->data(0, ProfileTree::kNameRole).toString(),
                        row->data(0, ProfileTree::kTypeRole).toString(),
                        row->data(0, ProfileTree::kSideRole).toString());
}

void ProfileEdit::showNoSetting() {
    pages.showBlank();
    ui->labelDescription->setText(tr("Please select a profile setting to edit."));
    pages.setValueLabelsVisible(false, false);
}

// ------------------------------------------------------------------------------------------------
// The editor

void ProfileEdit::populateProfileItem(const QString& channel, const QString& option, const QString& type,
                                      const QString& side) {
    channel_id = channel;
    option_id = option;
    option_type = type;
    locale = side;
    pendingValue = ProfileTree::storedValue(profile_, locale, option_id).value_or(QString());
    setupEditorPage();
}

QString ProfileEdit::shownKey() const {
    return locale + QLatin1Char('/') + option_id;
}

const SettingOption* ProfileEdit::shownOption() const {
    return locale == kGlobalSide ? nullptr : data.option(channel_id, option_id);
}

void ProfileEdit::setupEditorPage() {
    updating = true;
    const SettingOption* option = shownOption();
    defaultValue = option ? option->defaultValue : QString();
    // A text set to nothing is shown as nothing, not as its default.
    if (option && pendingValue.isEmpty() && option_type != QLatin1String("string")) pendingValue = defaultValue;
    ui->buttonDefault->setEnabled(pendingValue != defaultValue);
    if (option_type == QLatin1String("name")) {
        fillNamePage();
    } else if (option_type == QLatin1String("channel")) {
        fillChannelPage();
    } else if (option) {
        fillOptionPage(*option);
    } else {
        showNoSetting();
    }
    updating = false;
}

void ProfileEdit::fillOptionPage(const SettingOption& option) {
    ui->labelDescription->setText(option.descr);
    if (option_type == QLatin1String("int")) {
        pages.showInt(option, pendingValue);
    } else if (option_type == QLatin1String("bool")) {
        fillBoolPage(option);
    } else if (option_type == QLatin1String("string")) {
        pages.showString(pendingValue, defaultValue);
    } else if (option_type == QLatin1String("select")) {
        pages.showChoices(choicesInOrder(option), pendingValue);
        pages.setCurrentText(ProfileCodecData::choiceText(option, pendingValue));
        pages.setDefaultText(ProfileCodecData::choiceText(option, defaultValue));
    } else if (option_type == QLatin1String("codec")) {
        fillCodecPage(option);
    } else if (option_type == QLatin1String("visible")) {
        ui->labelDescription->setText(tr("Sets whether this profile is visible when changing peer settings."));
        pages.showBool(pendingValue, pendingValue == QLatin1String("true") ? tr("Yes") : tr("No"), QString(),
                       tr("Visible"));
    } else {
        // A type this editor does not know: its value is shown, and it has no page.
        pages.setCurrentText(shownCodecText(pendingValue));
        pages.setDefaultText(shownCodecText(defaultValue));
        pages.showBlank();
    }
}

void ProfileEdit::fillBoolPage(const SettingOption& option) {
    pages.showBool(pendingValue, data.shownValue(option, pendingValue), data.shownValue(option, defaultValue),
                   option.units.isEmpty() ? tr("Enabled") : option.units);
}

void ProfileEdit::fillCodecPage(const SettingOption& option) {
    // Only the remote codecs can follow the local encoder.
    if (pages.showCodecs(data.codecList(), locale == QLatin1String("remote"), pendingValue)) {
        describeCodecValue(pendingValue);
    }
    pages.setCurrentText(data.codecText(pendingValue));
    pages.setDefaultText(data.codecText(option.defaultValue));
}

void ProfileEdit::fillNamePage() {
    ui->labelDescription->setText(tr("Configurable name for this profile."));
    pages.showString(pendingValue, QString());
}

void ProfileEdit::fillChannelPage() {
    ui->labelDescription->setText(tr("Configures the network channel used for this profile."));
    // Every channel is offered, advanced or not.
    OptionEditorPages::Entries entries;
    for (const ProfileChannel& each : data.channels()) {
        entries.append({each.advanced ? each.descr + tr(" (advanced feature)") : each.descr, each.id});
    }
    pages.showChoices(entries, pendingValue);
    const ProfileChannel* channel = data.channel(pendingValue);
    pages.setCurrentText(channel ? channel->descr : QString());
}

void ProfileEdit::describeCodecValue(const QString& value) {
    if (pages.showCodecDetails(data.codecList(), value)) pendingValue = value;
}

// ------------------------------------------------------------------------------------------------
// Edits

void ProfileEdit::intChanged(int new_int) {
    if (updating) return;
    pendingValue = QString::number(new_int);
    applySetting(ui->spinValue);
}

void ProfileEdit::boolChanged(int new_bool) {
    if (updating) return;
    pendingValue = new_bool == Qt::Checked ? QStringLiteral("true") : QStringLiteral("false");
    applySetting(ui->checkValue);
}

void ProfileEdit::textChanged(const QString& new_string) {
    if (updating) return;
    pendingValue = new_string;
    applySetting(ui->lineValue);
}

void ProfileEdit::selectChanged(int new_idx) {
    if (updating || new_idx < 0) return;
    pendingValue = ui->comboValue->itemData(new_idx).toString();
    applySetting(ui->comboValue);
}

void ProfileEdit::codecChanged(int new_idx) {
    if (updating || new_idx < 0) return;
    describeCodecValue(ui->comboCodec->itemData(new_idx).toString());
    applySetting(nullptr);
}

void ProfileEdit::applySetting(QWidget* editor) {
    ProfileTree::storeValue(profile_, locale, option_id, pendingValue);
    edits.insert(shownKey(), {locale, option_id, channel_id});
    pages.forgetRefusedNumber(shownKey());
    populateProfileItems();
    if (editor) editor->setFocus(Qt::OtherFocusReason);
}

void ProfileEdit::defaultClicked() {
    pages.putValue(option_type, defaultValue);
}

void ProfileEdit::clearStringText() {
    ui->lineValue->clear();
}

// ------------------------------------------------------------------------------------------------
// Save

void ProfileEdit::accept() {
    const QString typed = pages.spinBoxProblem([this](const QString& text) { return checkTypedNumber(text); });
    QString problem = typed.isEmpty() ? pages.takeRefusedNumbers() : typed;
    if (problem.isEmpty()) problem = editProblem();
    if (problem.isEmpty()) {
        QDialog::accept();
        return;
    }
    MessageBox::warning(this, tr("Profile Editor"), problem);
    // The box took the focus from the spin box, which noted the number just named.
    if (!typed.isEmpty()) pages.forgetRefusedNumber(shownKey());
}

QString ProfileEdit::checkTypedNumber(const QString& value) const {
    const SettingOption* option = shownOption();
    return option ? option->typedNumberProblem(value, ProfileCodecData::sideText(locale)) : QString();
}

QString ProfileEdit::editProblem() const {
    const auto value = [this](const QString& side, const QString& name) {
        return ProfileTree::storedValue(profile_, side, name).value_or(QString());
    };
    const QString name = QStringLiteral("name");
    QString problem = data.check(kGlobalSide, data.globalSetting(name), value(kGlobalSide, name));
    const QString channel = value(kGlobalSide, QStringLiteral("channel"));
    for (auto edit = edits.cbegin(); edit != edits.cend() && problem.isEmpty(); ++edit) {
        problem = data.check(edit->side, describedSetting(*edit, channel), value(edit->side, edit->name));
    }
    return problem;
}

SettingOption ProfileEdit::describedSetting(const Edit& edit, const QString& channel) const {
    if (edit.side == kGlobalSide) return data.globalSetting(edit.name);
    // An option is held to its descriptor on the channel the profile goes out with; one that
    // channel does not have, to the one it was written on.
    const SettingOption* option = data.option(channel, edit.name);
    if (!option) option = data.option(edit.channel, edit.name);
    return option ? *option : SettingOption();
}

bool ProfileEdit::eventFilter(QObject* watched, QEvent* event) {
    // A click on another row takes the focus, and that row's value then replaces the number: Save
    // must still name it.
    if (watched == ui->spinValue && event->type() == QEvent::FocusOut) {
        pages.noteRefusedNumber(shownKey(), [this](const QString& text) { return checkTypedNumber(text); });
    }
    if (pages.isEnterOnUnacceptableNumber(watched, event)) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
