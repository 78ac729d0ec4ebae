#pragma once

#include <QDate>
#include <QDialog>
#include <QTime>

#include <memory>

namespace Ui {
class DateTimeDialog;
}

// A small modal picker: a month calendar and a time field. The job dialog opens one per "Calendar"
// button and, on OK, takes date and time together. No day before today can be picked.
class DateTimeDialog : public QDialog {
    Q_OBJECT

public:
    // The calendar's minimum date is today, as of construction.
    explicit DateTimeDialog(QWidget* parent = nullptr);
    ~DateTimeDialog() override;

    // A date before today selects today.
    void setDate(const QDate& date);
    void setTime(const QTime& time);
    QDate date() const;
    QTime time() const;

private:
    std::unique_ptr<Ui::DateTimeDialog> ui_;
};
