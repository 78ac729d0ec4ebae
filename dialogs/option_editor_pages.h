#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>

class Message;
class QCheckBox;
class QComboBox;
class QEvent;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QWidget;
struct SettingOption;

// The "Edit" group that the settings page and the profile editor share: both forms hold the same
// widgets under the same names (a description, the current and default value, one page per value
// type and "Default"). This fills a page for one value and puts values into its widgets; what
// each editor writes back, and when, stays with the editor. Filling changes the widgets, and so
// fires their change signals: the editors ignore those while they fill.
//
// Texts from the codec are cut before they reach a label.
//
// Threads: GUI thread only.
class OptionEditorPages {
public:
    // (text shown, value stored) of one combo box entry.
    using Entries = QList<QPair<QString, QString>>;

    // The encoder value by which a profile has the remote codec follow the local encoder, and the
    // text that names it.
    static const QString kFollowCodec;
    static const QString kFollowCodecText;

    template <class Form>
    explicit OptionEditorPages(Form& ui)
        : stackEdit(ui.stackEdit),
          pageInt(ui.pageInt),
          pageBool(ui.pageBool),
          pageString(ui.pageString),
          pageSelect(ui.pageSelect),
          pageCodec(ui.pageCodec),
          pageBlank(ui.pageBlank),
          labelCurVal(ui.labelCurVal),
          labelCurrentValue(ui.labelCurrentValue),
          labelDefVal(ui.labelDefVal),
          labelDefaultValue(ui.labelDefaultValue),
          buttonDefault(ui.buttonDefault),
          labelMinimumValue(ui.labelMinimumValue),
          labelMaximumValue(ui.labelMaximumValue),
          spinValue(ui.spinValue),
          checkValue(ui.checkValue),
          lineValue(ui.lineValue),
          comboValue(ui.comboValue),
          comboCodec(ui.comboCodec),
          labelCodecDescription(ui.labelCodecDescription),
          labelCodecQuality(ui.labelCodecQuality),
          labelCodecDelay(ui.labelCodecDelay) {}

    // The spin box within the option's limits, holding `current` (0 when it is no number), and the
    // limits in words; a limit the codec left open reads "(none)".
    void showInt(const SettingOption& option, const QString& current);
    // The check box titled `checkText`, checked for exactly "true".
    void showBool(const QString& current, const QString& currentText, const QString& defaultText,
                  const QString& checkText);
    // The line holds `current`; it is rewritten only when it holds other text, so that the cursor
    // stays where the operator types. A text longer than the line can hold is shown only in the
    // current value: the line stays empty and read-only, and says why.
    void showString(const QString& current, const QString& defaultValue);
    // The select page with `entries` in order, the last entry whose value is `current` chosen.
    void showChoices(const Entries& entries, const QString& current);
    // The codec page with the follow entry first when asked, then each codec of `codecList`; the
    // last entry whose value is `current` chosen. Whether one was.
    bool showCodecs(const Message& codecList, bool offersFollow, const QString& current);
    // The description, quality and delay of codec `id` ("!follow": the local encoder's); false,
    // with nothing changed, when `codecList` has no such codec.
    bool showCodecDetails(const Message& codecList, const QString& id);
    void showBlank();
    void setValueLabelsVisible(bool current, bool defaults);
    void setCurrentText(const QString& text);
    void setDefaultText(const QString& text);
    // Puts `value` into the widget of a `type` page, as the operator would: its change signal
    // fires when the widget changes. Nothing for other types, a choice that is not offered, or a
    // text longer than the line can hold.
    void putValue(const QString& type, const QString& value);
    // What `check` finds wrong with the number typed into the spin box while the int page shows
    // one the box cannot take; empty otherwise.
    QString spinBoxProblem(const std::function<QString(const QString&)>& check) const;
    // Whether `event` is Enter pressed in the spin box while it holds a number it cannot take,
    // which the spin box would quietly replace with its last value.
    bool isEnterOnUnacceptableNumber(const QObject* watched, const QEvent* event) const;

    // Numbers the spin box held when it lost the focus, which the value of a row chosen next
    // replaces, that Save must still name: what `check` found wrong with each, under the editor's
    // key of its option. Choosing another row keeps them; a value its option then takes forgets one.
    void noteRefusedNumber(const QString& key, const std::function<QString(const QString&)>& check);
    void forgetRefusedNumber(const QString& key) { refusedNumbers.remove(key); }
    void forgetRefusedNumbers() { refusedNumbers.clear(); }
    bool hasRefusedNumbers() const { return !refusedNumbers.isEmpty(); }
    // Every problem noted, as one text (empty when none), and forgets them.
    QString takeRefusedNumbers();

    // The last entry of `box` whose data is `value`; -1 when none is.
    static int lastIndexWithData(const QComboBox* box, const QString& value);

private:
    // Puts `text` into the line and lets it be edited; false, changing nothing, when the line
    // cannot hold it whole.
    bool putLineText(const QString& text);

    QStackedWidget* stackEdit;  // every widget here is the form's; none is owned
    QWidget* pageInt;
    QWidget* pageBool;
    QWidget* pageString;
    QWidget* pageSelect;
    QWidget* pageCodec;
    QWidget* pageBlank;
    QLabel* labelCurVal;
    QLabel* labelCurrentValue;
    QLabel* labelDefVal;
    QLabel* labelDefaultValue;
    QPushButton* buttonDefault;
    QLabel* labelMinimumValue;
    QLabel* labelMaximumValue;
    QSpinBox* spinValue;
    QCheckBox* checkValue;
    QLineEdit* lineValue;
    QComboBox* comboValue;
    QComboBox* comboCodec;
    QLabel* labelCodecDescription;
    QLabel* labelCodecQuality;
    QLabel* labelCodecDelay;
    QMap<QString, QString> refusedNumbers;  // option key -> what was wrong with its number
};
