#include "dialogs/profile_codec_data.h"

#include "dialogs/option_editor_pages.h"
#include "text/codec_text.h"
#include "text/message_lookup.h"

ProfileCodecData::ProfileCodecData(const Message& channelList, const Message& channelOpts, const Message& codecList)
    : codecList_(codecList) {
    for (int row = 0; row < channelList.size(); ++row) {
        const Message& channel = channelList.get_child(row);
        if (channel.name() != "channel") continue;
        const Message::Attributes& a = channel.attributes();
        channels_.append({attributeText(channel, "id"), shownAttributeText(channel, "descr"),
                          a.get_bool("advanced", false), a.get_bool("remote_opts", true)});
    }
    for (int row = 0; row < channelOpts.size(); ++row) {
        const Message& descriptor = channelOpts.get_child(row);
        if (descriptor.name() != "option" || !descriptor.attributes().get_bool("profile_opt", false)) continue;
        SettingOption option;
        SettingOption::parseChannelOptionDesc(descriptor, option);
        options_.append(option);
    }
}

const ProfileChannel* ProfileCodecData::channel(const QString& id) const {
    for (auto each = channels_.crbegin(); each != channels_.crend(); ++each) {
        if (each->id == id) return &*each;
    }
    return nullptr;
}

const SettingOption* ProfileCodecData::option(const QString& channelId, const QString& name) const {
    for (auto each = options_.crbegin(); each != options_.crend(); ++each) {
        if (each->subgroup == channelId && each->name == name) return &*each;
    }
    return nullptr;
}

QString ProfileCodecData::shownValue(const SettingOption& option, const QString& value) const {
    if (option.type == QLatin1String("codec")) return codecText(value);
    if (option.type == QLatin1String("select")) return choiceText(option, value);
    if (option.type == QLatin1String("bool")) {
        const bool hasLabels = !option.labelTrue.isEmpty() && !option.labelFalse.isEmpty();
        if (value == QLatin1String("true")) return hasLabels ? option.labelTrue : QStringLiteral("Enabled");
        return hasLabels ? option.labelFalse : QStringLiteral("Not Enabled");
    }
    return shownCodecText(value);
}

QString ProfileCodecData::codecText(const QString& id) const {
    if (id == OptionEditorPages::kFollowCodec) return OptionEditorPages::kFollowCodecText;
    const Message* codec = SettingOption::findCodec(codecList_, id);
    return codec ? SettingOption::codecText(*codec) : QString();
}

QString ProfileCodecData::choiceText(const SettingOption& option, const QString& value) {
    // The choices are kept last first.
    for (const auto& [text, choice] : option.choices) {
        if (choice == value) return text;
    }
    return {};
}

QString ProfileCodecData::check(const QString& side, const SettingOption& option, const QString& value) const {
    QString problem;
    if (option.type == QLatin1String("name") && value.trimmed().isEmpty()) {
        problem = QStringLiteral("\"%1\" must not be blank.").arg(option.displayName);
    } else if (side == QLatin1String("remote") && option.type == QLatin1String("codec") &&
               value == OptionEditorPages::kFollowCodec) {
        return {};
    } else {
        problem = option.check(value, codecList_);
    }
    if (problem.isEmpty() || side == QLatin1String("settings")) return problem;
    return sideText(side) + QStringLiteral(": ") + problem;
}

QString ProfileCodecData::sideText(const QString& side) {
    if (side == QLatin1String("settings")) return {};
    return side == QLatin1String("remote") ? QStringLiteral("Remote Settings") : QStringLiteral("Local Settings");
}

SettingOption ProfileCodecData::globalSetting(const QString& name) const {
    SettingOption setting;
    setting.name = name;
    if (name == QLatin1String("name")) {
        setting.type = name;
        setting.displayName = QStringLiteral("Profile Name");
        return setting;
    }
    setting.type = QStringLiteral("select");
    setting.displayName = QStringLiteral("Channel");
    for (const ProfileChannel& each : channels_) setting.choices.append({each.descr, each.id});
    return setting;
}
