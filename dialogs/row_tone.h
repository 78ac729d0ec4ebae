#pragma once

class QTreeWidgetItem;

// The settings, profile and option trees draw their group rows grey and the rows under them black.
enum class RowTone { Grey, Black };

// Gives both columns of `row` the tone's text colour. GUI thread only.
void setRowTone(QTreeWidgetItem* row, RowTone tone);
