#include "app/fleet/instance_widget.h"

#include <QApplication>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTextDocument>

#include <stdexcept>

#include "app/fleet/connected_count_text.h"
#include "app/shared/codec_text.h"
#include "app/shared/elided_label.h"
#include "app/shared/mini_meter.h"
#include "scheduler/scheduler.h"
#include "sessions/ipc_object.h"
#include "text/connection_fault_text.h"
#include "text/device_state_text.h"

namespace {

// Every tile asks on every schedule change; off unless asked for (QT_LOGGING_RULES).
Q_LOGGING_CATEGORY(lcTileSchedule, "kestrane.fleet.schedule", QtInfoMsg)

constexpr int kMinimumWidth = 200;  // four to a row in a window of 929 pixels
constexpr int kMaximumWidth = 550;
constexpr int kHeight = 66;
constexpr int kIconSize = 16;
constexpr int kLabelHeight = 18;

// Before the codec has reported its version, and again once it is offline.
const QString kGreySheet = QStringLiteral(
    "InstanceWidget { background-color: qlineargradient( x1:0.6, y2:1, x2:0.6, y1:0, stop:0 #abb, stop:0.3 #abb, "
    "stop:0.495 #ddd, stop:0.505 #ddd, stop:0.7 #abb, stop:1 #9aa);  border: 1px solid grey; border-radius: 8px;} "
    "InstanceWidget:hover {background-color: rgba( 210, 210, 210, 255); border: 2px solid lightgray;}");
// Once the codec has reported its version.
const QString kLightSheet = QStringLiteral(
    "InstanceWidget { background-color: qlineargradient( x1:0.6, y2:1, x2:0.6, y1:0, stop:0 #cde, stop:0.28 #cde, "
    "stop:0.495 #fff, stop:0.505 #fff, stop:0.72 #cde, stop:1 #ccd);  border: 1px solid grey; border-radius: 8px;} "
    "InstanceWidget:hover {background-color: rgba( 240, 245, 212, 255); border: 2px solid white;}");

const char kReadyIcon[] = "green_check.svg";
const char kOfflineIcon[] = "red_x.svg";
const char kConnectingIcon[] = "yellow backbend arrow.svg";
const char kRefusedIcon[] = "alert.svg";

QString borderImage(const char* file) {
    return QStringLiteral("border-image: url(:icons/%1) 0 0 0 0 stretch stretch;").arg(QLatin1String(file));
}

const QColor kSelectedFrame(255, 240, 0);
constexpr int kSelectedFrameWidth = 6;
// The outer edge of the selected frame, in the style's colour of focus: keys act on this tile.
constexpr int kFocusLineWidth = 2;

// A tile four to a row in a window of 929 pixels has little room for its texts: they are cut with
// "…", the codec's name in the middle, where names that differ only at the end keep the difference.
QLabel* plainLabel(QWidget* parent, Qt::TextElideMode mode = Qt::ElideRight) {
    return new ElidedLabel(mode, parent);
}

// What the channel flags of an active peer say, in the tool tip's words.
QString flowSentence(const PeerChannelInfo* channel) {
    const bool is_transmitting = channel && channel->transmitting;
    const bool is_receiving = channel && channel->receiving;
    if (is_transmitting && is_receiving) return QObject::tr("Device is transmitting to and receiving from ");
    if (is_transmitting) return QObject::tr("Device is transmitting to ");
    if (is_receiving) return QObject::tr("Device is receiving from ");
    return QObject::tr("Device is connected, but NOT transmitting OR receiving from ");
}

QString flowPrefix(const PeerChannelInfo* channel) {
    const bool is_transmitting = channel && channel->transmitting;
    const bool is_receiving = channel && channel->receiving;
    if (is_transmitting && is_receiving) return QStringLiteral("RX+TX: ");
    if (is_receiving) return QStringLiteral("RX: ");
    if (is_transmitting) return QStringLiteral("TX: ");
    return QStringLiteral("???: ");
}

// The state label's words where the tile's differ from the tree row's.
QString stateText(IQEndpointClient::DEVICE_STATE state) {
    switch (state) {
    case IQEndpointClient::TIMED_OUT: return QObject::tr("Timed Out");
    case IQEndpointClient::CONNECTED: return QObject::tr("Logging in...");
    default: return deviceStateText(state);
    }
}

// Peer names and addresses come from the codec: the tool tip shows them as plain text, and no
// longer than any tip of codec text, however many peers the codec lists.
QString plainToolTip(const QString& text) {
    return Qt::convertFromPlainText(shownCodecText(text, CodecText::kToolTipLength), Qt::WhiteSpacePre);
}

}  // namespace

InstanceWidget::InstanceWidget(QWidget* parent, IPCObject* session, QUuid key) : QWidget(parent), key_(key) {
    setMinimumWidth(kMinimumWidth);
    setMaximumWidth(kMaximumWidth);
    setMinimumHeight(kHeight);
    setMaximumHeight(kHeight);
    setFocusPolicy(Qt::ClickFocus);  // so that Del, which acts in the fleet view, follows a click
    setTileSheet(kGreySheet);

    layout = new QGridLayout(this);
    layout->setContentsMargins(10, 5, 8, 5);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(2);
    layout->setColumnMinimumWidth(0, 12);

    nameLabel = plainLabel(this, Qt::ElideMiddle);
    QFont name_font = nameLabel->font();
    name_font.setPointSize(name_font.pointSize() + 4);
    name_font.setWeight(QFont::Bold);
    nameLabel->setFont(name_font);
    nameLabel->setMaximumHeight(kLabelHeight);
    if (session) CodecText::showUnit(*nameLabel, *session);
    peerSummaryLabel = plainLabel(this);
    peerSummaryLabel->setMaximumHeight(kLabelHeight);
    stateLabel = plainLabel(this);
    stateIcon = new QWidget(this);
    stateIcon->setFixedSize(kIconSize, kIconSize);
    clockIcon = new QWidget(this);
    clockIcon->setFixedSize(kIconSize, kIconSize);
    clockIcon->setStyleSheet(borderImage("clock.svg"));
    clockIcon->setToolTip(tr("A connection is scheduled for this codec."));
    clockIcon->hide();
    meter = new MiniMeter(this);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    peerSummaryLabel->setObjectName(QStringLiteral("peerSummaryLabel"));
    stateLabel->setObjectName(QStringLiteral("stateLabel"));
    stateIcon->setObjectName(QStringLiteral("stateIcon"));
    clockIcon->setObjectName(QStringLiteral("clockIcon"));

    // The first line, its own: the name tells the codecs apart and takes the room it needs first;
    // the peers take what is left, at their right, beside the icons.
    auto* firstLine = new QHBoxLayout;
    firstLine->setSpacing(layout->horizontalSpacing());
    firstLine->addWidget(nameLabel);
    firstLine->addWidget(peerSummaryLabel, 1);
    firstLine->addWidget(clockIcon);
    firstLine->addWidget(stateIcon);
    peerSummaryLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    peerSummaryLabel->setMinimumWidth(peerSummaryLabel->minimumSizeHint().width());
    peerSummaryLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addLayout(firstLine, 0, 0, 1, 4);
    layout->addWidget(stateLabel, 1, 0);
    layout->addWidget(meter, 1, 1, 1, 3);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);

    attachIPC(session);
    setMeterShown(session->meteringOn);
}

InstanceWidget::~InstanceWidget() = default;

IPCObject* InstanceWidget::session() const {
    return session_.data();
}

void InstanceWidget::attachIPC(IPCObject* session) {
    if (session_) throw std::logic_error("Attempt to attatchIPC made where IPCObject is already present.");
    if (!session) throw std::invalid_argument("Don't pass null ipc pointer to InstanceWidget.");
    session_ = session;
    connect(session, &IPCObject::changedState, this, &InstanceWidget::ipcChangedState);
    connect(session, &IPCObject::recvSysOptions, this, &InstanceWidget::ipcRecvSysOptions);
    connect(session, &IPCObject::recvPeerList, this, &InstanceWidget::ipcRecvPeerList);
    connect(session, &IPCObject::recvVersion, this, &InstanceWidget::ipcRecvVersion);
    meter->showLevelsOf(session);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &InstanceWidget::showContextMenu);
    connect(session, &IPCObject::newChanState, this, &InstanceWidget::ipcNewChanState);
    connect(session, &IPCObject::faultChanged, this, &InstanceWidget::showHealth);
    connect(session, &IPCObject::linkDropsChanged, this, &InstanceWidget::showHealth);
    connect(session, &IPCObject::figuresFreshnessChanged, this, &InstanceWidget::showHealth);
    ipcChangedState(session->uuid, session->state());
    setCursor(Qt::PointingHandCursor);
}

// ------------------------------------------------------------------------------------------------
// Selection and the menu

void InstanceWidget::select() {
    isSelected_ = true;
    update();
    emit selected(key_);
}

void InstanceWidget::deselect() {
    isSelected_ = false;
    update();
}

void InstanceWidget::mousePressEvent(QMouseEvent* event) {
    select();
    event->accept();
}

void InstanceWidget::showContextMenu(const QPoint& pos) {
    const QPoint at = mapToGlobal(pos);
    select();
    if (session_) emit menuRequested(at);
}

// ------------------------------------------------------------------------------------------------
// What the session reports

void InstanceWidget::ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state) {
    if (!session_) return;
    if (state != IQEndpointClient::READY) {
        meter->reset();
        showNoConnections();
    }
    switch (state) {
    case IQEndpointClient::TIMED_OUT:
    case IQEndpointClient::DISCONNECTED:
        setTileSheet(kGreySheet);
        setStateIcon(kOfflineIcon);
        break;
    case IQEndpointClient::AUTH_FAILED: setStateIcon(kRefusedIcon); break;
    case IQEndpointClient::CONNECTING: setStateIcon(kConnectingIcon); break;
    case IQEndpointClient::AUTHENTICATED:
    case IQEndpointClient::READY: setStateIcon(kReadyIcon); break;
    case IQEndpointClient::CONNECTED:
    case IQEndpointClient::CODE_UPLOAD:
    case IQEndpointClient::CODE_UPDATE: break;
    }
    if (state == IQEndpointClient::READY) {
        ipcRecvPeerList(uuid);
        CodecText::showUnit(*nameLabel, *session_);
        // Selected again, so that the window shows the codec as it is now that it is ready.
        if (isSelected_) select();
    } else if (state != IQEndpointClient::AUTHENTICATED) {
        stateLabel->setText(stateText(state));
    }
    showHealth();
    if (state == IQEndpointClient::AUTH_FAILED) emit loginRefused(uuid);
}

void InstanceWidget::showHealth() {
    if (!session_) return;
    setToolTip(CodecText::healthToolTip(*session_));
    if (isLive()) stateLabel->setText(liveStatusText(*session_, connectedCountText(session_->activePeerList().size())));
}

void InstanceWidget::ipcRecvSysOptions(QUuid) {
    if (session_) CodecText::showUnit(*nameLabel, *session_);
}

void InstanceWidget::ipcNewChanState(QUuid, QString text) {
    stateLabel->setText(CodecText::name(text));
}

void InstanceWidget::ipcRecvVersion(QUuid) {
    Message version;
    if (session_ && session_->getCachedMessage(QStringLiteral("version"), version)) setTileSheet(kLightSheet);
}

void InstanceWidget::ipcRecvPeerList(QUuid) {
    if (!isLive()) return;
    const QList<PeerMetaPtr> active = session_->activePeerList();
    QString label;
    QString tip;
    if (active.isEmpty()) {
        label = tr("[idle]");
        tip = tr("Device is not connected to any peer.");
    } else if (active.size() == 1) {
        const PeerMeta& peer = *active.first();
        label = CodecText::name(peer.name);
        tip = flowSentence(peer.channel.get()) + CodecText::name(peer.addr);
    } else {
        label = tr("(%1 devices connected)").arg(active.size());
        for (const PeerMetaPtr& peer : qAsConst(active)) {
            tip += flowPrefix(peer->channel.get()) + CodecText::name(peer->name) + QStringLiteral(" (") +
                   CodecText::name(peer->addr) + QStringLiteral(")\n");
        }
    }
    showPeerSummary(label, plainToolTip(tip));
    stateLabel->setText(liveStatusText(*session_, connectedCountText(active.size())));
}

void InstanceWidget::showNoConnections() {
    showPeerSummary(QString(), QString());
}

void InstanceWidget::showPeerSummary(const QString& label, const QString& toolTip) {
    peerSummaryLabel->setText(label);
    if (peerSummaryLabel->toolTip() != toolTip) peerSummaryLabel->setToolTip(toolTip);
}

bool InstanceWidget::isLive() const {
    return session_ && session_->state() == IQEndpointClient::READY;
}

// ------------------------------------------------------------------------------------------------
// The clock and the meter

void InstanceWidget::setScheduler(Scheduler* scheduler) {
    if (scheduler_) disconnect(scheduler_, nullptr, this, nullptr);
    scheduler_ = scheduler;
    if (scheduler) connect(scheduler, &Scheduler::scheduleUpdated, this, &InstanceWidget::updateScheduled);
    updateScheduled();
}

void InstanceWidget::updateScheduled() {
    const bool has_job = scheduler_ && session_ && scheduler_->hasJobFor(session_->uuid);
    if (session_) {
        qCDebug(lcTileSchedule).noquote() << "tile of" << session_->log_name() << "has job=" << has_job;
    }
    clockIcon->setVisible(has_job);
}

void InstanceWidget::setMeterShown(bool isShown) {
    meter->setVisible(isShown);
    if (!isShown) meter->reset();
}

void InstanceWidget::doUpdate() {
    update();
}

// ------------------------------------------------------------------------------------------------
// Painting

void InstanceWidget::setTileSheet(const QString& sheet) {
    if (tileSheet_ == sheet) return;  // a new style sheet re-polishes every child
    tileSheet_ = sheet;
    setStyleSheet(sheet);
}

void InstanceWidget::setStateIcon(const char* file) {
    if (stateIconFile_ == file) return;
    stateIconFile_ = file;
    stateIcon->setStyleSheet(borderImage(file));
}

void InstanceWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    if (!isSelected_) return;
    painter.setPen(QPen(kSelectedFrame, kSelectedFrameWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRect(3, 3, width() - 6, height() - 6), 5, 5);
    if (!hasKeyboardFocus()) return;
    painter.setPen(QPen(palette().color(QPalette::Highlight), kFocusLineWidth));
    painter.drawRoundedRect(QRect(1, 1, width() - 2, height() - 2), 7, 7);
}

// The tile itself, or the grid that holds it (where Tab enters the tile page), has the focus.
bool InstanceWidget::hasKeyboardFocus() const {
    const QWidget* focused = QApplication::focusWidget();
    return focused && (focused == this || focused->isAncestorOf(this));
}
