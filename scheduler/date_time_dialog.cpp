#include "scheduler/date_time_dialog.h"

#include "ui_date_time_dialog.h"

DateTimeDialog::DateTimeDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::DateTimeDialog>()) {
    ui_->setupUi(this);
    ui_->calendarWidget->setMinimumDate(QDate::currentDate());
}

DateTimeDialog::~DateTimeDialog() = default;

void DateTimeDialog::setDate(const QDate& date) {
    ui_->calendarWidget->setSelectedDate(date);
}

void DateTimeDialog::setTime(const QTime& time) {
    ui_->timeEdit->setTime(time);
}

QDate DateTimeDialog::date() const {
    return ui_->calendarWidget->selectedDate();
}

QTime DateTimeDialog::time() const {
    return ui_->timeEdit->time();
}
