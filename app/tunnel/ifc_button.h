#pragma once

#include <QColor>
#include <QPushButton>
#include <QString>
#include <QVector>

#include "sessions/tunnel_connection_label.h"

// The label of one tunnel connection on the tunnel page: a flat, disabled push button that names
// the connection's two interfaces ("(index) first>second", or "Connection li:ri" until both are
// known) in the connection's colour. The buttons stack upwards from the bottom of their parent.
//
// Created, relabelled, recoloured and deleted by the tunnel session (through create() and
// TunnelConnectionLabel); its parent is the page's button container.
// Threads: GUI thread only.
class IFCButton : public QPushButton, public TunnelConnectionLabel {
public:
    // Vertical gap between stacked buttons, in pixels.
    static constexpr int kSpacing = 4;

    IFCButton(QWidget* parent, int index, const QString& uid, const QString& first, const QString& second);
    ~IFCButton() override;

    // The tunnel session's button factory (TunnelSession::ButtonFactory): a button with `container`
    // as parent, added to the container's layout when `inLayout` is set. Null when `container` is
    // not a widget.
    static QObject* create(QObject* container, int index, const QString& uid, const QString& first,
                           const QString& second, bool inLayout);

    void setLabels(const QString& first, const QString& second, bool force) override;
    // The colour of connection `index` (black from the seventh on), and the place in the stack.
    void setColor(int index) override;
    void setShown(bool shown) override;

private:
    int index;
    QString uid;
    QString first;
    QString second;
    QVector<QColor> colours;
};
