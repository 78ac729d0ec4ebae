// CodecModel's profiles and settings: the checks of an option's value against its descriptor, the
// profiles' additions, copies, writes and removals, and the writes of the system, directory,
// channel and tunnel settings, the tunnel's delay limits and the metering switch.
#include "tools/codec-sim/codec_model.h"

#include <utility>
#include <vector>

#include "tools/codec-sim/codec_options.h"
#include "tools/codec-sim/request_checks.h"
#include "tools/codec-sim/sim_numbers.h"

using codec_sim::fail;
using codec_sim::first_child;
using codec_sim::kBadRequest;
using codec_sim::kConflict;
using codec_sim::kNotFound;
using codec_sim::OptionSpec;
using codec_sim::parse_int;
using codec_sim::profile_option_specs;

std::string CodecModel::check_value(const Message& descriptor, const std::string& value, bool allows_follow) const {
    const std::string type = descriptor.attributes().get_string("type", "");
    if (value.size() > kMaxTextLength) return "longer than " + std::to_string(kMaxTextLength) + " bytes";
    if (type == "int") {
        int number = 0;
        if (!parse_int(value, number)) return "not a whole number";
        const int low = descriptor.attributes().get_int("min", 0);
        const int high = descriptor.attributes().get_int("max", 0);
        if (number < low || number > high) {
            return "outside " + std::to_string(low) + ".." + std::to_string(high);
        }
    } else if (type == "bool") {
        if (value != "true" && value != "false") return "neither true nor false";
    } else if (type == "select") {
        for (int row = 0; row < descriptor.size(); ++row) {
            const Message& choice = descriptor.get_child(row);
            if (choice.name() == "select" && choice.attributes().get_string("value", "") == value) return {};
        }
        return "not one of the choices";
    } else if (type == "codec") {
        if (!(allows_follow && value == "!follow") && !find_codec(value)) return "no such codec";
    } else if (type == "peer") {
        int id = 0;
        if (!parse_int(value, id) || (id != 0 && !find_peer(id))) return "no such peer";
    }
    return {};
}

std::string CodecModel::check_profile_options(const Message& profile) const {
    const std::string channel = profile.get_child("settings", 0).attributes().get_string("channel", "");
    for (const char* side : {"local", "remote"}) {
        const Message* values = first_child(profile, side);
        if (!values) continue;
        for (int row = 0; row < channel_opts_.size(); ++row) {
            const Message& option = channel_opts_.get_child(row);
            const MessageAttributes& a = option.attributes();
            if (!a.get_bool("profile_opt", false) || a.get_string("channel", "") != channel) continue;
            const std::string name = a.get_string("name", "");
            if (!values->attributes().has(name)) continue;
            const std::string value = values->attributes().get_string(name, "");
            const std::string why = check_value(option, value, std::string(side) == "remote");
            if (!why.empty()) return std::string(side) + " " + name + " \"" + value + "\": " + why;
        }
    }
    return {};
}

// ------------------------------------------------------------------------------------------------
// Profiles

void CodecModel::do_add_profile(const Message& request, int64_t now_us, Message& reply) {
    if (is_reusing_profile_ids_ && !profiles_.empty()) {
        reply.attributes().set("id", profiles_.back().attributes().get_int("id", 0));
        return;
    }
    if (profiles_.size() >= kMaxProfiles) {
        fail(reply, kConflict, "addProfile: profile list full (" + std::to_string(kMaxProfiles) + " profiles)");
        return;
    }
    std::string name = "New Profile";
    int channel = channels_.front().id;
    if (const Message* settings = first_child(request, "settings")) {
        name = settings->attributes().get_string("name", name);
        int wanted = 0;
        if (parse_int(settings->attributes().get_string("channel", ""), wanted) && find_channel(wanted)) {
            channel = wanted;
        }
    }
    if (name.empty() || name.size() > kMaxTextLength) {
        fail(reply, kBadRequest, "addProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
        return;
    }
    const int id = next_profile_id_++;
    profiles_.push_back(new_profile(id, name, channel));
    reply.attributes().set("id", id);
    add_log(now_us, "Profile added: " + name);
    is_profile_list_changed_ = true;
}

void CodecModel::do_copy_profile(const Message& request, int64_t now_us, Message& reply) {
    const Message* source = find_profile(request.attributes().get_int("id", 0));
    const std::string name = request.attributes().get_string("name", "");
    if (!source) {
        fail(reply, kNotFound, "copyProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    if (name.empty() || name.size() > kMaxTextLength) {
        fail(reply, kBadRequest, "copyProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
        return;
    }
    if (profiles_.size() >= kMaxProfiles) {
        fail(reply, kConflict, "copyProfile: profile list full (" + std::to_string(kMaxProfiles) + " profiles)");
        return;
    }
    Message copy = *source;
    const int id = next_profile_id_++;
    copy.attributes().set("id", id);
    copy.attributes().remove("default");
    MessageAttributes& settings = copy.get_child("settings", 0).attributes();
    settings.set("name", name);
    settings.set("factory", false);
    profiles_.push_back(copy);
    reply.attributes().set("id", id);
    add_log(now_us, "Profile added: " + name);
    is_profile_list_changed_ = true;
}

void CodecModel::do_set_profile(const Message& request, int64_t now_us, Message& reply) {
    Message* stored = find_profile(request.attributes().get_int("id", 0));
    if (!stored) {
        fail(reply, kNotFound, "setProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    // The new profile: the stored one with the request's settings and option values laid over it.
    // Only the parts a profile has are taken; whatever else the request carries is not kept.
    Message updated = *stored;
    MessageAttributes& settings = updated.get_child("settings", 0).attributes();
    if (const Message* given = first_child(request, "settings")) {
        const std::string name = given->attributes().get_string("name", settings.get_string("name", ""));
        if (name.empty() || name.size() > kMaxTextLength) {
            fail(reply, kBadRequest,
                 "setProfile: name empty or longer than " + std::to_string(kMaxTextLength) + " bytes");
            return;
        }
        settings.set("name", name);
        if (given->attributes().has("channel")) {
            int channel = 0;
            if (!parse_int(given->attributes().get_string("channel", ""), channel) || !find_channel(channel)) {
                fail(reply, kBadRequest,
                     "setProfile: no channel \"" + given->attributes().get_string("channel", "") + "\"");
                return;
            }
            settings.set("channel", channel);
        }
    }
    for (const char* side : {"local", "remote"}) {
        const Message* given = first_child(request, side);
        if (!given) continue;
        MessageAttributes& values = updated.get_child(side, 0).attributes();
        for (const OptionSpec& spec : profile_option_specs()) {
            if (given->attributes().has(spec.name))
                values.set(spec.name, given->attributes().get_string(spec.name, ""));
        }
    }
    const std::string why = check_profile_options(updated);
    if (!why.empty()) {
        fail(reply, kBadRequest, "setProfile: " + why);
        return;
    }
    const bool makes_default =
        request.attributes().get_bool("default", false) && !stored->attributes().get_bool("default", false);
    if (makes_default) {
        for (Message& profile : profiles_) profile.attributes().remove("default");
        updated.attributes().set("default", true);
    }
    *stored = updated;
    add_log(now_us, (makes_default ? "Default profile: " : "Profile saved: ") + settings.get_string("name", ""));
    is_profile_list_changed_ = true;
}

void CodecModel::do_delete_profile(const Message& request, int64_t now_us, Message& reply) {
    const int id = request.attributes().get_int("id", 0);
    Message* profile = find_profile(id);
    if (!profile) {
        fail(reply, kNotFound, "deleteProfile: no profile \"" + request.attributes().get_string("id", "") + "\"");
        return;
    }
    const bool was_default = profile->attributes().get_bool("default", false);
    add_log(now_us, "Profile removed: " + profile->get_child("settings", 0).attributes().get_string("name", ""));
    profiles_.erase(profiles_.begin() + (profile - profiles_.data()));
    if (was_default && !profiles_.empty()) profiles_.front().attributes().set("default", true);
    for (Peer& peer : peers_) {
        if (peer.profile == id) {
            peer.profile = 0;
            is_peer_list_changed_ = true;
        }
    }
    is_profile_list_changed_ = true;
}

// ------------------------------------------------------------------------------------------------
// Settings

void CodecModel::do_set_sys_options(const Message& request, int64_t now_us, Message& reply) {
    // The program sends back the whole cached reply with its edits; anything that names no option
    // ("seq", a stale "fail") is ignored. All values are checked before any is stored.
    Message updated = sys_options_;
    bool is_changed = false;
    for (int row = 0; row < system_opts_.size(); ++row) {
        const Message& option = system_opts_.get_child(row);
        const MessageAttributes& d = option.attributes();
        if (d.get_string("group", "") == "directoryServer") continue;
        const std::string name = d.get_string("name", "");
        const std::string subgroup = d.get_string("subgroup", "");
        const Message* source = subgroup.empty() ? &request : first_child(request, subgroup);
        if (!source || !source->attributes().has(name)) continue;
        const std::string value = source->attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setSysOptions: " + name + " \"" + value + "\": " + why);
            return;
        }
        Message& target = subgroup.empty() ? updated : updated.get_child(subgroup, 0);
        if (target.attributes().get_string(name, "") != value) {
            target.attributes().set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    sys_options_ = updated;
    add_log(now_us, "System settings saved");
    is_sys_options_changed_ = true;
}

void CodecModel::do_set_directory_server(const Message& request, int64_t now_us, Message& reply) {
    Message updated = directory_server_;
    bool is_changed = false;
    for (int row = 0; row < system_opts_.size(); ++row) {
        const Message& option = system_opts_.get_child(row);
        if (option.attributes().get_string("group", "") != "directoryServer") continue;
        const std::string name = option.attributes().get_string("name", "");
        if (!request.attributes().has(name)) continue;
        const std::string value = request.attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setDirectoryServer: " + name + " \"" + value + "\": " + why);
            return;
        }
        if (updated.attributes().get_string(name, "") != value) {
            updated.attributes().set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    directory_server_ = updated;
    add_log(now_us, directory_server_.attributes().get_bool("enabled", false)
                        ? "Registered with directory server " + directory_server_.attributes().get_string("server", "")
                        : "Directory server registration off");
    is_directory_server_changed_ = true;
}

void CodecModel::do_set_channel_settings(const Message& request, int64_t now_us, Message& reply) {
    int id = 0;
    if (!parse_int(request.attributes().get_string("id", ""), id)) {
        fail(reply, kBadRequest, "setChannelSettings: channel id missing or not a number");
        return;
    }
    Channel* channel = find_channel(id);
    const Message* given = first_child(request, "channel");
    if (!channel) {
        fail(reply, kNotFound, "setChannelSettings: no channel " + std::to_string(id));
        return;
    }
    if (!given) {
        fail(reply, kBadRequest, "setChannelSettings: no \"channel\" element");
        return;
    }
    MessageAttributes updated = channel->values;
    bool is_changed = false;
    for (int row = 0; row < channel_opts_.size(); ++row) {
        const Message& option = channel_opts_.get_child(row);
        const MessageAttributes& d = option.attributes();
        if (!d.get_bool("channel_opt", false) || d.get_int("channel", 0) != id) continue;
        const std::string name = d.get_string("name", "");
        if (!given->attributes().has(name)) continue;
        const std::string value = given->attributes().get_string(name, "");
        const std::string why = check_value(option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "setChannelSettings: " + name + " \"" + value + "\": " + why);
            return;
        }
        if (updated.get_string(name, "") != value) {
            updated.set(name, value);
            is_changed = true;
        }
    }
    if (!is_changed) return;
    channel->values = updated;
    add_log(now_us, "Channel " + channel->descr + " settings saved");
    is_channel_list_changed_ = true;
}

void CodecModel::do_cfg_set_option(const Message& request, int64_t now_us, Message& reply) {
    const std::string path = request.attributes().get_string("path", "");
    if (path != "netmgr.tunnel") {
        fail(reply, kNotFound, "cfgSetOption: no configuration path \"" + path + "\"");
        return;
    }
    // Check every option first, so that a refused request changes nothing.
    std::vector<std::pair<std::string, std::string>> values;
    for (int row = 0; row < request.size(); ++row) {
        const Message& given = request.get_child(row);
        if (given.name() != "option" || !given.attributes().has("value")) continue;
        const std::string name = given.attributes().get_string("name", "");
        const std::string value = given.attributes().get_string("value", "");
        const Message* option = braidlink_option(name);
        if (!option) {
            fail(reply, kNotFound, "cfgSetOption: no option \"" + name + "\"");
            return;
        }
        const std::string why = check_value(*option, value, false);
        if (!why.empty()) {
            fail(reply, kBadRequest, "cfgSetOption: " + name + " \"" + value + "\": " + why);
            return;
        }
        values.emplace_back(name, value);
    }
    bool is_changed = false;
    for (const auto& [name, value] : values) {
        Message& option = *braidlink_option(name);
        if (option.attributes().get_string("value", "") != value) {
            option.attributes().set("value", value);
            is_changed = true;
        }
        Message& answer = reply.add_child("option");
        answer.attributes().set("option", path + "." + name);
        answer.attributes().set("value", value);
    }
    if (is_changed) add_log(now_us, "Braidlink settings saved");
}

void CodecModel::do_set_max_delay(const Message& request, Message& reply) {
    const MessageAttributes& a = request.attributes();
    if (a.get_int("sid", 0) != tunnel_sid_ || !is_tunnel_up()) {
        fail(reply, kNotFound, "setMaxDelay: no tunnel session \"" + a.get_string("sid", "") + "\"");
        return;
    }
    TunnelDirection& direction = a.get_bool("remote", false) ? tunnel_rx_ : tunnel_tx_;
    const bool is_auto = a.get_bool("auto", false);
    int delay = direction.max_delay_ms;
    if (!is_auto) {
        const int high = tunnel_delay_point(4);
        if (!parse_int(a.get_string("delay", ""), delay) || delay < 10 || delay > high) {
            fail(reply, kBadRequest,
                 "setMaxDelay: delay \"" + a.get_string("delay", "") + "\" outside 10.." + std::to_string(high));
            return;
        }
    }
    direction.is_auto = is_auto;
    direction.max_delay_ms = delay;
}

void CodecModel::do_monitor(const Message& request) {
    // "meterInterval" is not this model's business: the subscription's interval paces the reports.
    if (request.attributes().has("metering")) is_metering_on_ = request.attributes().get_bool("metering", false);
}
