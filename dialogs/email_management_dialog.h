#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class IPCObject;
class QListWidgetItem;
class QPoint;

namespace Ui {
class EmailManagementDialog;
}

// "Manage Alert Addresses": edits one codec's alert e-mail list. The operator edits the loaded
// addresses in place, removes them through the list's context menu and adds new ones; edited
// texts are taken as they stand. The dialog changes no session itself; after OK the caller reads
// the whole edited list.
// GUI thread only.
class EmailManagementDialog : public QDialog {
    Q_OBJECT

public:
    explicit EmailManagementDialog(QWidget* parent = nullptr);
    ~EmailManagementDialog() override;

    // Names the codec and lists its addresses, each editable in place.
    void setAddresses(IPCObject& session);
    // Every row's text, top to bottom: duplicates and empty texts included.
    QStringList addresses() const;

private slots:
    void removeAddress();
    void editItem(QListWidgetItem* item);
    void addressListContextMenu(const QPoint& position);
    void emailAddClicked();
    void lineEditChanged(const QString& text);

private:
    std::unique_ptr<Ui::EmailManagementDialog> ui;
};
