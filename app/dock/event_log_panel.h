#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QTextEdit;
class QWidget;

// The event-log view of the dock's Log tab: the codec's event log and this program's device-log
// lines about it, oldest at the top, as plain text (a codec's "<b>" stays "<b>", on screen and in
// the saved file). "Save" writes the view to a text file of the operator's choice.
//
// The view keeps as many lines as a session keeps (its event-log entries and its device-log lines);
// the oldest give way. Each line is cut to CodecText::kLogLineLength and wraps anywhere, so that no
// line costs more than a few KB of layout.
//
// Threads: GUI thread only.
class EventLogPanel {
public:
    // Asks the operator for the file to save to; empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent)>;

    EventLogPanel(QTextEdit* view, QWidget* dialogParent);

    // Replaces the view's lines with `lines`, in one insertion.
    void show(const QStringList& lines);
    // Adds `lines` at the end, each as a line of its own; keeps the newest line in sight when the
    // view showed the end before.
    void append(const QStringList& lines);
    // As append, in place of the view's last `count` lines.
    void replaceLast(int count, const QStringList& lines);
    void clear();
    // The view's lines as they were added, each cut to CodecText::kLogLineLength.
    QStringList lines() const;

    // Asks for a file name (".txt" is added unless the name ends in it, in any case) and writes the
    // view there; a file that cannot be written gives the "Error" box.
    void saveLog();
    // Writes `lines` to `path` atomically as UTF-8, each followed by CR LF. False when the file
    // could not be written whole; an existing file is then left as it was.
    static bool writeLogFile(const QString& path, const QStringList& lines);
    static QString withTxtSuffix(const QString& fileName);

    // Tests answer the file dialog through this.
    void setFileChooser(FileChooser chooser);

private:
    QTextEdit* view;        // the form's; not owned
    QWidget* dialogParent;  // the window; not owned
    FileChooser chooseFile;
};
