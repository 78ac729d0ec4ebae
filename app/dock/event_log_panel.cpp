#include "app/dock/event_log_panel.h"

#include <QFileDialog>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

#include "app/shared/codec_text.h"
#include "dialogs/message_box.h"
#include "sessions/device_log.h"
#include "sessions/event_log_merger.h"

namespace {

constexpr int kMaxLines = int{EventLogMerger::kMaxStoredEntries} + DeviceLog::kMaxLines;

// One text of the lines, each cut, each line feed starting a paragraph.
QString joinedLogLines(const QStringList& lines) {
    QStringList cut;
    cut.reserve(lines.size());
    for (const QString& line : lines) cut << CodecText::logLine(line);
    return cut.join(QLatin1Char('\n'));
}

QString askForLogFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Save Log as txt File"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Text file (*.txt)"));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

}  // namespace

EventLogPanel::EventLogPanel(QTextEdit* view_, QWidget* dialogParent_)
    : view(view_), dialogParent(dialogParent_), chooseFile(askForLogFile) {
    view->setWordWrapMode(QTextOption::WrapAnywhere);
    view->document()->setMaximumBlockCount(kMaxLines);
}

void EventLogPanel::show(const QStringList& lines) {
    view->setPlainText(joinedLogLines(lines));
}

void EventLogPanel::append(const QStringList& lines) {
    replaceLast(0, lines);
}

void EventLogPanel::replaceLast(int count, const QStringList& lines) {
    QScrollBar* scroll = view->verticalScrollBar();
    const bool isAtEnd = scroll->value() == scroll->maximum();
    QTextDocument* document = view->document();
    if (count > 0 && !document->isEmpty()) {
        QTextCursor cursor(document->findBlockByNumber(std::max(document->blockCount() - count, 0)));
        // With the line feed that ends the line before.
        cursor.movePosition(QTextCursor::PreviousCharacter);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    if (!lines.isEmpty()) {
        QString text = joinedLogLines(lines);
        if (!document->isEmpty()) text.prepend(QLatin1Char('\n'));
        // Inserted as text, never parsed as markup; each line feed starts a paragraph.
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text, QTextCharFormat());
    }
    if (isAtEnd) scroll->setValue(scroll->maximum());
}

void EventLogPanel::clear() {
    view->clear();
}

QStringList EventLogPanel::lines() const {
    if (view->document()->isEmpty()) return {};
    // The raw text keeps what the plain text would change (non-breaking spaces); only the paragraph
    // and line separators become line feeds.
    QString text = view->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

void EventLogPanel::saveLog() {
    const QString chosen = chooseFile(dialogParent);
    if (chosen.isEmpty()) return;
    if (!writeLogFile(withTxtSuffix(chosen), lines())) {
        MessageBox::warning(dialogParent, QStringLiteral("Error"),
                            QStringLiteral("Unable to save the log to the file specified."));
    }
}

bool EventLogPanel::writeLogFile(const QString& path, const QStringList& lines) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString EventLogPanel::withTxtSuffix(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive) ? fileName : fileName + QStringLiteral(".txt");
}

void EventLogPanel::setFileChooser(FileChooser chooser) {
    chooseFile = std::move(chooser);
}
