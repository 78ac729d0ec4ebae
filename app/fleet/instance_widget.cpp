#include "app/fleet/instance_widget.h"

#include <QDebug>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTextDocument>

#include <mutex>
#include <stdexcept>

#include "app/shared/codec_text.h"
#include "app/shared/mini_meter.h"
#include "app/shell/main_window.h"
#include "scheduler/scheduler.h"
#include "sessions/ipc_object.h"

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

QLabel* plainLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    return label;
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

// Peer names and addresses come from the codec: the tool tip shows them as plain text.
QString plainToolTip(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
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

    nameLabel = plainLabel(this);
    QFont name_font = nameLabel->font();
    name_font.setPointSize(name_font.pointSize() + 4);
    name_font.setWeight(QFont::Bold);
    nameLabel->setFont(name_font);
    nameLabel->setMaximumHeight(kLabelHeight);
    if (session) nameLabel->setText(session->host);
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

    layout->addWidget(nameLabel, 0, 0);
    layout->addWidget(peerSummaryLabel, 0, 1);
    layout->addWidget(clockIcon, 0, 2);
    layout->addWidget(stateIcon, 0, 3);
    layout->addWidget(stateLabel, 1, 0);
    layout->addWidget(meter, 1, 1, 1, 3);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

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
    connect(session, &IPCObject::recvLevels, meter, &MiniMeter::levels);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &InstanceWidget::showContextMenu);
    connect(session, &IPCObject::newChanState, this, &InstanceWidget::ipcNewChanState);
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
    auto* main_window = qobject_cast<MainWindow*>(window());
    if (!main_window || !session_) return;
    // The menu and its separators are not the tile's: "Remove Instance" deletes the tile while the
    // menu runs, so nothing here touches the tile once exec returns.
    QMenu menu;
    fillInstanceMenu(menu, main_window->instanceMenuActions(session_));
    menu.exec(at);
}

void InstanceWidget::fillInstanceMenu(QMenu& menu, QList<QAction*> actions) {
    if (actions.size() >= 4) {
        // Separators set off the connection pair at the top and the add and remove pair at the end.
        auto* before_last_two = new QAction(&menu);
        before_last_two->setSeparator(true);
        actions.insert(actions.size() - 2, before_last_two);
        auto* after_first_two = new QAction(&menu);
        after_first_two->setSeparator(true);
        actions.insert(2, after_first_two);
    }
    menu.addActions(actions);
}

// ------------------------------------------------------------------------------------------------
// What the session reports

void InstanceWidget::ipcChangedState(QUuid uuid, IQEndpointClient::DEVICE_STATE state) {
    if (!session_) return;
    if (state != IQEndpointClient::READY) meter->reset();
    switch (state) {
    case IQEndpointClient::TIMED_OUT:
        setTileSheet(kGreySheet);
        setStateIcon(kOfflineIcon);
        stateLabel->setText(tr("Timed Out"));
        break;
    case IQEndpointClient::AUTH_FAILED:
        setStateIcon(kRefusedIcon);
        stateLabel->setText(tr("Wrong Password"));
        emit loginRefused(uuid);
        break;
    case IQEndpointClient::DISCONNECTED:
        setTileSheet(kGreySheet);
        setStateIcon(kOfflineIcon);
        stateLabel->setText(tr("Not connected"));
        break;
    case IQEndpointClient::CONNECTING:
        setStateIcon(kConnectingIcon);
        stateLabel->setText(tr("Connecting"));
        break;
    case IQEndpointClient::CONNECTED:
        stateLabel->setText(tr("Logging in..."));
        break;
    case IQEndpointClient::AUTHENTICATED:
        setStateIcon(kReadyIcon);
        break;
    case IQEndpointClient::READY:
        setStateIcon(kReadyIcon);
        updateConnectedLabel();
        CodecText::showName(*nameLabel, session_->unitName());
        // Selected again, so that the window shows the codec as it is now that it is ready.
        if (isSelected_) select();
        break;
    case IQEndpointClient::CODE_UPLOAD:
        stateLabel->setText(tr("Device is about to update"));
        break;
    case IQEndpointClient::CODE_UPDATE:
        stateLabel->setText(tr("Device is updating firmware"));
        break;
    }
}

void InstanceWidget::ipcRecvSysOptions(QUuid) {
    if (session_) CodecText::showName(*nameLabel, session_->unitName());
}

void InstanceWidget::ipcNewChanState(QUuid, QString text) {
    stateLabel->setText(CodecText::name(text));
}

void InstanceWidget::ipcRecvVersion(QUuid) {
    Message version;
    if (session_ && session_->getCachedMessage(QStringLiteral("version"), version)) setTileSheet(kLightSheet);
}

void InstanceWidget::ipcRecvPeerList(QUuid) {
    if (!session_) return;
    QList<PeerMetaPtr> active;
    {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        active = session_->activePeers;
    }
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
    peerSummaryLabel->setText(label);
    const QString escaped_tip = plainToolTip(tip);
    if (peerSummaryLabel->toolTip() != escaped_tip) peerSummaryLabel->setToolTip(escaped_tip);
    updateConnectedLabel();
}

void InstanceWidget::updateConnectedLabel() {
    if (!session_) return;
    int connected = 0;
    {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        connected = session_->activePeers.size();
    }
    if (connected == 0) {
        stateLabel->setText(tr("Ready"));
    } else if (connected == 1) {
        stateLabel->setText(tr("1 connected"));
    } else {
        stateLabel->setText(tr("%1 connected").arg(connected));
    }
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
        qCDebug(lcTileSchedule).noquote() << "instance uuid=" << session_->uuid.toString() << "has job=" << has_job;
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
}
