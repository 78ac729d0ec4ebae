#include "app/dock/capped_columns.h"

#include <QEvent>
#include <QTreeView>

#include <algorithm>
#include <numeric>

namespace {

// The narrowest a capped column is cut to, in average characters: an elided cell still shows its
// start.
constexpr int kMinCappedCharacters = 4;

}  // namespace

CappedColumns::CappedColumns(QTreeView* tree, int capped, int sized)
    : QObject(tree), tree_(tree), sized_(sized), contentWidths_(capped, 0) {
    tree->viewport()->installEventFilter(this);
}

void CappedColumns::fit() {
    for (int column = 0; column < sized_; ++column) tree_->resizeColumnToContents(column);
    for (int column = 0; column < contentWidths_.size(); ++column) contentWidths_[column] = tree_->columnWidth(column);
    isMeasured_ = true;
    cap();
}

void CappedColumns::cap() {
    const int narrowest = tree_->fontMetrics().averageCharWidth() * kMinCappedCharacters;
    int room = tree_->viewport()->width() - tree_->columnWidth(contentWidths_.size());
    // The narrowest contents first: what a short column leaves goes to the wider ones.
    QVector<int> columns(contentWidths_.size());
    std::iota(columns.begin(), columns.end(), 0);
    std::sort(columns.begin(), columns.end(), [this](int a, int b) { return contentWidths_[a] < contentWidths_[b]; });
    for (int left = columns.size(); left > 0; --left) {
        const int column = columns.at(columns.size() - left);
        const int width = std::min(contentWidths_.at(column), std::max(room / left, narrowest));
        tree_->setColumnWidth(column, width);
        room -= width;
    }
}

bool CappedColumns::eventFilter(QObject* /*watched: only the viewport*/, QEvent* event) {
    // Until fit() has measured the contents there is nothing to cap to: the columns keep the widths
    // they have, their headers whole, rather than shrink to nothing while a codec logs in.
    if (event->type() == QEvent::Resize && isMeasured_) cap();
    return false;
}
