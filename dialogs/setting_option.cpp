#include "dialogs/setting_option.h"

#include <limits>

#include "ipc/message/message.h"
#include "text/codec_text.h"
#include "text/decimal_id.h"
#include "text/message_lookup.h"

namespace {

// The fields every family reads alike.
void readCommonFields(const Message& descriptor, SettingOption& option) {
    const Message::Attributes& a = descriptor.attributes();
    option.advanced = a.get_bool("advanced", false);
    option.descr = shownAttributeText(descriptor, "descr");
    option.displayName = shownAttributeText(descriptor, "display_name");
    option.type = attributeText(descriptor, "type");
    option.units = shownAttributeText(descriptor, "units");
    option.name = attributeText(descriptor, "name");
    if (option.type == QLatin1String("int")) {
        // A missing limit leaves that end open.
        option.min = a.has("min") ? a.get_int("min", 0) : std::numeric_limits<int>::min();
        option.max = a.has("max") ? a.get_int("max", 0) : std::numeric_limits<int>::max();
    }
    if (option.type == QLatin1String("select")) {
        for (int row = 0; row < descriptor.size(); ++row) {
            const Message& choice = descriptor.get_child(row);
            if (choice.name() != "select") continue;
            option.choices.prepend({shownAttributeText(choice, "name"), attributeText(choice, "value")});
        }
    }
}

void readBoolLabels(const Message& descriptor, SettingOption& option) {
    if (option.type != QLatin1String("bool")) return;
    option.labelFalse = shownAttributeText(descriptor, "label_false");
    option.labelTrue = shownAttributeText(descriptor, "label_true");
}

}  // namespace

SettingOption::SettingOption(const Message& descriptor) {
    readCommonFields(descriptor, *this);
    defaultValue = attributeText(descriptor, "default");
    group = attributeText(descriptor, "group");
    groupName = shownAttributeText(descriptor, "group_name");
    subgroup = attributeText(descriptor, "subgroup");
    if (type == QLatin1String("peer")) {
        type = QStringLiteral("select");
        peer = true;
    }
}

void SettingOption::parseChannelOptionDesc(const Message& descriptor, SettingOption& option) {
    readCommonFields(descriptor, option);
    option.defaultValue = attributeText(descriptor, "default");
    option.group = QStringLiteral("channelList");
    option.subgroup = attributeText(descriptor, "channel");
    readBoolLabels(descriptor, option);
}

void SettingOption::parseBraidlinkOptionDesc(const Message& descriptor, SettingOption& option) {
    readCommonFields(descriptor, option);
    option.defaultValue = attributeText(descriptor, "default_value");
    option.group = QStringLiteral("netmgr.tunnel");
    option.groupName = QStringLiteral("Braidlink");
    readBoolLabels(descriptor, option);
}

void SettingOption::setPeerChoices(const QList<PeerMetaPtr>& peers) {
    choices.clear();
    for (const PeerMetaPtr& each : peers) {
        const QString text = each->addr.isEmpty() ? each->name : QStringLiteral("%1 (%2)").arg(each->name, each->addr);
        choices.prepend({shownCodecText(text), each->id});
    }
    choices.prepend({QStringLiteral("(No Peer)"), QStringLiteral("0")});
}

QString SettingOption::shownValue(const QString& value, const Message& codecList) const {
    if (type == QLatin1String("select")) {
        QString text;
        for (const auto& [choice_text, choice_value] : choices) {
            if (choice_value == value) text = choice_text;  // the last match, as the editor picks it
        }
        return text;
    }
    if (type == QLatin1String("codec")) {
        const Message* codec = findCodec(codecList, value);
        return codec ? codecText(*codec) : QString();
    }
    if (type == QLatin1String("bool")) {
        return value == QLatin1String("true") ? QStringLiteral("Enabled") : QStringLiteral("Not Enabled");
    }
    return shownCodecText(value);
}

QString SettingOption::check(const QString& value, const Message& codecList) const {
    const QString needed = requirement(value, codecList);
    return needed.isEmpty() ? QString() : QStringLiteral("\"%1\" must be %2.").arg(displayName, needed);
}

QString SettingOption::typedNumberProblem(const QString& value, const QString& where) const {
    const auto withUnits = [this](int number) {
        return units.isEmpty() ? QString::number(number) : QStringLiteral("%1 %2").arg(number).arg(units);
    };
    const std::optional<int> number = readDecimalId(value);
    QString problem;
    if (type == QLatin1String("int") && number && *number > max) {
        problem = QStringLiteral("\"%1\" %2 is above the maximum of %3.")
                      .arg(displayName, withUnits(*number), withUnits(max));
    } else if (type == QLatin1String("int") && number && *number < min) {
        problem = QStringLiteral("\"%1\" %2 is below the minimum of %3.")
                      .arg(displayName, withUnits(*number), withUnits(min));
    } else {
        problem = check(value, Message());
    }
    if (problem.isEmpty()) return {};
    return (where.isEmpty() ? QString() : where + QStringLiteral(": ")) + problem +
           QStringLiteral(" Nothing was sent for it.");
}

QString SettingOption::requirement(const QString& value, const Message& codecList) const {
    if (type == QLatin1String("int")) {
        const std::optional<int> number = readDecimalId(value);
        if (number && *number >= min && *number <= max) return {};
        const QString limits = limitsText();
        return limits.isEmpty() ? QStringLiteral("a whole number") : QStringLiteral("a whole number %1").arg(limits);
    }
    if (type == QLatin1String("select")) {
        for (const auto& choice : choices) {
            if (choice.second == value) return {};
        }
        return QStringLiteral("one of its choices");
    }
    if (type == QLatin1String("codec")) {
        return findCodec(codecList, value) ? QString() : QStringLiteral("one of the codec's encoders");
    }
    if (type == QLatin1String("bool")) {
        return value == QLatin1String("true") || value == QLatin1String("false") ? QString()
                                                                                 : QStringLiteral("on or off");
    }
    return hasControlCharacter(value) ? QStringLiteral("text without control characters") : QString();
}

QString SettingOption::limitsText() const {
    const QString range = rangeText();
    if (range.isEmpty()) return {};
    const bool is_closed = min != std::numeric_limits<int>::min() && max != std::numeric_limits<int>::max();
    return (is_closed ? QStringLiteral("from ") : QStringLiteral("of ")) + range;
}

QString SettingOption::rangeText() const {
    const bool has_min = min != std::numeric_limits<int>::min();
    const bool has_max = max != std::numeric_limits<int>::max();
    QString text;
    if (has_min && has_max) {
        text = QStringLiteral("%1 to %2").arg(min).arg(max);
    } else if (has_min) {
        text = QStringLiteral("at least %1").arg(min);
    } else if (has_max) {
        text = QStringLiteral("at most %1").arg(max);
    } else {
        return {};
    }
    return units.isEmpty() ? text : text + QLatin1Char(' ') + units;
}

QString SettingOption::takenInstead(const QString& value, const Message& codecList) const {
    const QString needed = requirement(value, codecList);
    const bool has_range = type == QLatin1String("int") && !rangeText().isEmpty();
    return needed.isEmpty() || !has_range ? needed : rangeText();
}

QString SettingOption::codecText(const Message& codec) {
    return shownCodecText(
        QStringLiteral("%1: %2 %3")
            .arg(attributeText(codec, "code"), attributeText(codec, "mode"), attributeText(codec, "name")));
}

const Message* SettingOption::findCodec(const Message& codecList, const QString& id) {
    for (int row = 0; row < codecList.size(); ++row) {
        const Message& codec = codecList.get_child(row);
        if (codec.name() == "codec" && attributeText(codec, "id") == id) return &codec;
    }
    return nullptr;
}

QString makeOptionKey(const QString& a, const QString& b) {
    // Both in one pass: a channel id holding "%2" must not take the name's place.
    return QStringLiteral("%1:%2").arg(a, b);
}
