#include "sessions/graph_data.h"

GraphData::GraphData(QObject* parent) : QObject(parent) {}

GraphData::~GraphData() = default;

bool GraphData::hasData(int) const {
    return false;
}

void GraphData::setPeer(int peer) {
    peer_ = peer;
}

void GraphData::announceChanges() {
    if (!has_unannounced_change_) return;
    has_unannounced_change_ = false;
    emit dataChanged();
}
