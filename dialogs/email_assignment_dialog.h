#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>

class IPCObject;

namespace Ui {
class EmailAssignmentDialog;
}

// Adds alert e-mail addresses to several codecs at once: the operator selects READY codecs
// ("units") on the left and types addresses into the list on the right. The dialog changes no
// session itself; after OK the caller reads the selected units and the typed addresses.
// GUI thread only.
class EmailAssignmentDialog : public QDialog {
    Q_OBJECT

public:
    explicit EmailAssignmentDialog(QWidget* parent = nullptr);
    ~EmailAssignmentDialog() override;

    // Empties both lists, then offers each session of `sessions` that is READY now, in the given
    // order, under its unit label. The list does not follow the sessions afterwards.
    void setUnits(const QList<IPCObject*>& sessions);
    // The instance keys of the selected units, top to bottom. Keys, not sessions: a codec removed
    // while the dialog was open is then simply no longer found.
    QList<QUuid> selectedUnits() const;
    // The typed addresses, top to bottom; the same text may stand twice.
    QStringList addresses() const;

private slots:
    void emailAppendClicked();
    void lineEditChanged(const QString& text);

private:
    void addReadyUnits(const QList<IPCObject*>& sessions);

    std::unique_ptr<Ui::EmailAssignmentDialog> ui;
};
