#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "sessions/peer_meta.h"

class Message;

// One codec setting as the codec describes it in a descriptor reply ("option" element): its key,
// labels, type, default, limits and choices. A plain copyable value; the settings page keeps one
// per option in a map, the profile editor reads channel options with it.
//
// Every text shown to the operator (labels, help, units, choice texts) is cut to a length a widget
// can lay out when it is read; `name`, `defaultValue` and choice values go back to the codec and
// are kept whole.
struct SettingOption {
    bool advanced = false;  // shown only with "Show Advanced Settings"
    QString defaultValue;   // as text
    QString descr;          // help text
    QString displayName;    // label of the option's row
    QString group;          // a system group, "directoryServer", "channelList" or "netmgr.tunnel"
    QString groupName;      // label of the group row
    QString channelDescr;   // channel options: the channel's whole description, which tells channels apart
    int max = 0;            // "int" only: upper limit; the int maximum when the codec gives none
    int min = 0;            // "int" only: lower limit; the int minimum when the codec gives none
    QString name;           // the option's key in the codec's value replies and commands
    QString subgroup;       // system options: the child element holding the value; channel: its id
    QString type;           // "int", "bool", "string", "select", "codec" or any other text
    QString units;
    bool peer = false;                       // "select" whose choices are the codec's peers
    QString labelFalse;                      // tunnel and channel bool options
    QString labelTrue;                       // tunnel and channel bool options
    QList<QPair<QString, QString>> choices;  // (text shown, value stored), descriptor order reversed

    SettingOption() = default;
    // A system option from one "option" of "systemOpts". A "peer" descriptor becomes a "select"
    // with `peer` set and no choices until setPeerChoices.
    explicit SettingOption(const Message& descriptor);

    // A channel option from one "option" of "channelOpts" (its group name is the channel's, which
    // the caller knows), and a tunnel option from one "option" of the tunnel settings' group.
    static void parseChannelOptionDesc(const Message& descriptor, SettingOption& option);
    static void parseBraidlinkOptionDesc(const Message& descriptor, SettingOption& option);

    // Replaces the choices with "(No Peer)" (value "0") and then each peer, last peer first.
    void setPeerChoices(const QList<PeerMetaPtr>& peers);

    // The value as the operator reads it: a choice's text, a codec's "code: mode name", "Enabled"
    // or "Not Enabled", else the value itself. Empty for a choice or codec that is not there.
    QString shownValue(const QString& value, const Message& codecList) const;
    // Empty when the codec can take `value` for this option, else the operator's text saying what
    // it must be ("\"Input Gain\" must be a whole number from -20 to 20 dB."). An int is a decimal number within the
    // limits, a select one of the choices, a codec one in `codecList`, a bool "true" or "false", and any text is free
    // of control characters, which the XML writer would replace.
    QString check(const QString& value, const Message& codecList) const;
    // What an editor's box says of `value`, typed into this option's spin box, when the codec cannot
    // take it, `where` naming the group the option is shown under ("Program", "Local Settings"; empty:
    // none): a whole number with the limit it crosses ("Program: \"Jitter Buffer\" 3000 ms is above
    // the maximum of 2000 ms."), anything else as check() says it, then that nothing was sent for it.
    // Empty when the codec takes it.
    QString typedNumberProblem(const QString& value, const QString& where) const;
    // "from -20 to 20 dB", "of at least 5", "of at most 9 s", or empty without limits.
    QString limitsText() const;
    // What the codec takes instead of `value`, to end "the codec now takes ...": "-20 to 20 dB",
    // "at least 5", "one of its choices"; empty when it takes `value`.
    QString takenInstead(const QString& value, const Message& codecList) const;

    // "code: mode name" of one "codec" element of a codec list.
    static QString codecText(const Message& codec);
    // The first "codec" child of `codecList` whose "id" is `id`; null when none is.
    static const Message* findCodec(const Message& codecList, const QString& id);

private:
    // What check() says the value must be; empty when it is that.
    QString requirement(const QString& value, const Message& codecList) const;
    // "-20 to 20 dB", "at least 5", "at most 9 s", or empty without limits.
    QString rangeText() const;
};

// The options map key of a channel option: "channel:name".
QString makeOptionKey(const QString& a, const QString& b);
