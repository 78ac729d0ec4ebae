#include "dialogs/option_editor_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStringList>

#include <limits>

#include "dialogs/setting_option.h"
#include "ipc/message/message.h"
#include "text/codec_text.h"
#include "text/message_lookup.h"

const QString OptionEditorPages::kFollowCodec = QStringLiteral("!follow");
const QString OptionEditorPages::kFollowCodecText = QStringLiteral("Follow local encoder");

namespace {

QString withUnits(const QString& value, const QString& units) {
    return QStringLiteral("%1 %2").arg(shownCodecText(value), units);
}

// A limit the codec left open reads as none.
QString limitText(int limit, const QString& units) {
    const bool is_open = limit == std::numeric_limits<int>::min() || limit == std::numeric_limits<int>::max();
    return is_open ? QStringLiteral("(none)") : withUnits(QString::number(limit), units);
}

}  // namespace

void OptionEditorPages::showInt(const SettingOption& option, const QString& current) {
    labelCurrentValue->setText(withUnits(current, option.units));
    labelDefaultValue->setText(withUnits(option.defaultValue, option.units));
    labelMaximumValue->setText(limitText(option.max, option.units));
    labelMinimumValue->setText(limitText(option.min, option.units));
    stackEdit->setCurrentWidget(pageInt);
    spinValue->setSuffix(option.units.isEmpty() ? QString() : QLatin1Char(' ') + option.units);
    spinValue->setMaximum(option.max);
    spinValue->setMinimum(option.min);
    spinValue->setValue(current.toInt());
}

void OptionEditorPages::showBool(const QString& current, const QString& currentText, const QString& defaultText,
                                 const QString& checkText) {
    labelCurrentValue->setText(currentText);
    labelDefaultValue->setText(defaultText);
    checkValue->setText(checkText);
    stackEdit->setCurrentWidget(pageBool);
    checkValue->setChecked(current == QLatin1String("true"));
}

void OptionEditorPages::showString(const QString& current, const QString& defaultValue) {
    labelCurrentValue->setText(shownCodecText(current));
    labelDefaultValue->setText(shownCodecText(defaultValue));
    stackEdit->setCurrentWidget(pageString);
    if (putLineText(current)) return;
    // The line would cut the text, and an edit would then send it cut.
    lineValue->clear();
    lineValue->setReadOnly(true);
    lineValue->setPlaceholderText(QStringLiteral("Too long to edit here: %1 characters, at most %2.")
                                      .arg(current.size())
                                      .arg(lineValue->maxLength()));
}

bool OptionEditorPages::putLineText(const QString& text) {
    if (text.size() > lineValue->maxLength()) return false;
    lineValue->setReadOnly(false);
    lineValue->setPlaceholderText(QString());
    if (lineValue->text() != text) lineValue->setText(text);
    return true;
}

void OptionEditorPages::showChoices(const Entries& entries, const QString& current) {
    stackEdit->setCurrentWidget(pageSelect);
    comboValue->clear();
    for (const auto& [text, value] : entries) comboValue->addItem(text, value);
    const int index = lastIndexWithData(comboValue, current);
    if (index >= 0) comboValue->setCurrentIndex(index);
}

bool OptionEditorPages::showCodecs(const Message& codecList, bool offersFollow, const QString& current) {
    comboCodec->clear();
    if (offersFollow) comboCodec->addItem(kFollowCodecText, kFollowCodec);
    for (int row = 0; row < codecList.size(); ++row) {
        const Message& codec = codecList.get_child(row);
        if (codec.name() != "codec") continue;
        comboCodec->addItem(SettingOption::codecText(codec), attributeText(codec, "id"));
    }
    const int index = lastIndexWithData(comboCodec, current);
    if (index >= 0) comboCodec->setCurrentIndex(index);
    stackEdit->setCurrentWidget(pageCodec);
    return index >= 0;
}

bool OptionEditorPages::showCodecDetails(const Message& codecList, const QString& id) {
    if (id == kFollowCodec) {
        labelCodecDescription->setText(QStringLiteral("Follow the local encoder settings."));
        labelCodecQuality->setText(QStringLiteral("(follow)"));
        labelCodecDelay->setText(QStringLiteral("(follow)"));
        return true;
    }
    const Message* codec = SettingOption::findCodec(codecList, id);
    if (!codec) return false;
    labelCodecDescription->setText(shownAttributeText(*codec, "descr"));
    labelCodecQuality->setText(shownAttributeText(*codec, "quality") + QLatin1Char('%'));
    labelCodecDelay->setText(shownAttributeText(*codec, "delay") + QStringLiteral("ms"));
    return true;
}

void OptionEditorPages::showBlank() {
    stackEdit->setCurrentWidget(pageBlank);
}

void OptionEditorPages::setValueLabelsVisible(bool current, bool defaults) {
    labelCurVal->setVisible(current);
    labelCurrentValue->setVisible(current);
    labelDefVal->setVisible(defaults);
    labelDefaultValue->setVisible(defaults);
    buttonDefault->setVisible(defaults);
}

void OptionEditorPages::setCurrentText(const QString& text) {
    labelCurrentValue->setText(text);
}

void OptionEditorPages::setDefaultText(const QString& text) {
    labelDefaultValue->setText(text);
}

void OptionEditorPages::putValue(const QString& type, const QString& value) {
    if (type == QLatin1String("int")) {
        spinValue->setValue(value.toInt());
    } else if (type == QLatin1String("bool")) {
        checkValue->setChecked(value == QLatin1String("true"));
    } else if (type == QLatin1String("string")) {
        putLineText(value);
    } else if (type == QLatin1String("select") || type == QLatin1String("codec")) {
        QComboBox* box = type == QLatin1String("select") ? comboValue : comboCodec;
        const int index = lastIndexWithData(box, value);
        if (index >= 0) box->setCurrentIndex(index);
    }
}

QString OptionEditorPages::spinBoxProblem(const std::function<QString(const QString&)>& check) const {
    if (stackEdit->currentWidget() != pageInt || spinValue->hasAcceptableInput()) return {};
    return check(spinValue->cleanText());
}

bool OptionEditorPages::isEnterOnUnacceptableNumber(const QObject* watched, const QEvent* event) const {
    if (watched != spinValue || event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return (key == Qt::Key_Return || key == Qt::Key_Enter) && !spinValue->hasAcceptableInput();
}

void OptionEditorPages::noteRefusedNumber(const QString& key, const std::function<QString(const QString&)>& check) {
    const QString problem = spinBoxProblem(check);
    if (!problem.isEmpty()) refusedNumbers.insert(key, problem);
}

QString OptionEditorPages::takeRefusedNumbers() {
    const QStringList problems = refusedNumbers.values();
    refusedNumbers.clear();
    return problems.join(QLatin1Char(' '));
}

int OptionEditorPages::lastIndexWithData(const QComboBox* box, const QString& value) {
    int found = -1;
    for (int index = 0; index < box->count(); ++index) {
        if (box->itemData(index).toString() == value) found = index;
    }
    return found;
}
