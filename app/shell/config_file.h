#pragma once

#include <QList>
#include <QString>

#include "ipc/message/message.h"

class IPCObject;
class MainWindow;
class QHeaderView;

// The tree of kt-config.xml and the file operations around it. ConfigStore decides when and reports
// failures; this class only builds, applies, reads and writes.
//
//   <config company="Quelda Corporation" product="Kestrane" version="1.0">
//     <application audio=".." default-sounds=".." geometry=".." state=".." section_width_0=".." ../>
//     <remotes>
//       <remote address=".." port=".." password=".." metering=".." logReading=".." snd-...=".."/>
//     </remotes>
//   </config>
//
// Attributes are written in name order whatever the order they were set in; the reader takes any
// order. Threads: GUI thread only.
class ConfigFile {
public:
    // Section widths outside this range are damage, not a layout: they are ignored on reading.
    static constexpr int kMaxSectionWidth = 10000;

    // The whole tree: the window's layout and switches, the tree's column widths and one "remote"
    // per session, in the order given.
    static Message build(const MainWindow& window, const QHeaderView& header, const QList<IPCObject*>& sessions);
    // Applies an "application" element: geometry, state, the sound switches, the column widths and
    // the details dock. Absent keys leave their setting as it is.
    static void applyApplication(const Message& application, MainWindow& window, QHeaderView& header);
    // Gives a new session the switches and sounds of its "remote" element, then its address, port
    // and password, with which it starts connecting.
    static void applyRemote(const Message& remote, IPCObject& session);

    // Reads and checks the file: throws Exception when it cannot be read or decoded, when its root
    // is not "config", or when it holds more than one "remotes" (the second would be lost).
    static Message read(const QString& path);
    // Writes the tree atomically, owner-only; throws Exception on failure, leaving the old file.
    static void write(const Message& tree, const QString& path);
    // Copies the file byte for byte to "<path>.bad-<yyyyMMdd-hhmmss>" (owner-only, never over an
    // earlier copy) and returns the copy's path; throws Exception when no whole copy can be made,
    // leaving none.
    static QString keepCopy(const QString& path);
};
