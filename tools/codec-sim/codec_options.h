#pragma once

#include <vector>

#include "ipc/message/message.h"

// The settings a simulated codec describes: the option descriptors of its settings page, its
// channels, its profiles and its tunnel, from which it seeds its descriptor replies and values.
namespace codec_sim {

// One option descriptor. Choices are "Text=value" pairs separated by ";".
struct OptionSpec {
    const char* name;
    const char* display_name;
    const char* descr;
    const char* type;
    const char* units;
    bool is_advanced;
    const char* default_value;
    int min, max;  // "int" only
    const char* choices;
};

struct SystemOptionSpec {
    OptionSpec option;
    const char* group;
    const char* group_name;
    const char* subgroup;
};

// Appends an "option" descriptor; `default_key` is "default" for system and channel options,
// "default_value" for braidlink ones.
Message& add_option(Message& list, const OptionSpec& spec, const char* default_key);

// The options of the settings page, each with its group and subgroup.
const std::vector<SystemOptionSpec>& system_option_specs();
// Per channel; the settings page shows these (channel_opt).
const std::vector<OptionSpec>& channel_option_specs();
// Per channel; the profile editor shows these (profile_opt), once for each side.
const std::vector<OptionSpec>& profile_option_specs();
// The tunnel's options ("netmgr.tunnel").
const std::vector<OptionSpec>& braidlink_option_specs();

}  // namespace codec_sim
