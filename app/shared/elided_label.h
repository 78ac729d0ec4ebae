#pragma once

#include <QLabel>

// A one-line label that, given less room than its text needs, draws the text cut with "…" rather
// than clipped mid-letter, so that the operator sees that it goes on; cut in the middle, names that
// differ only at the end ("Studio 12", "127.0.0.1:5004") stay apart. text() stays the whole text.
// It asks for the room of its whole text, but makes do with that of a few characters.
//
// Threads: GUI thread only.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    ElidedLabel(Qt::TextElideMode mode, QWidget* parent);
    // Cut at the end, as a form makes it.
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Qt::TextElideMode mode;
};
