#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include <vector>

class IQEndpointClient;
class IQManager;
class ManagerWorker;

// The one pool of socket workers. Places every codec session on a worker with room (round-robin,
// 64 sessions each, so four workers hold 256), starts and stops the workers, and reports the totals
// the main window shows.
//
// A name is placed at most once, and a session under one name only: a second placement is refused,
// so that no manager keeps a session that another one (or the pool) has let go.
//
// Threads: used on the GUI thread only; the managers it reaches take their own locks.
class IQCommonPooledApp : public QObject {
    Q_OBJECT

public:
    // How long shutdown waits for each worker before it gives up and logs.
    static constexpr int kStopTimeoutMs = 10000;

    explicit IQCommonPooledApp(int worker_count, QObject* parent = nullptr);
    // Disconnects every session still placed and lets it go (it is left unplaced, its manager null),
    // then stops and deletes the workers.
    ~IQCommonPooledApp() override;

    // False, with a warning, when every worker is full, the name is placed already or the session
    // is placed already (under any name).
    virtual bool add_client(const QString& name, IQEndpointClient* session);
    virtual bool remove_client(const QString& name);
    IQManager* manager_for(const QString& name) const;
    ManagerWorker* find_available_worker();
    int client_count() const;
    int available_spots() const;
    int worker_count() const { return static_cast<int>(workers_.size()); }

public slots:
    void start_managers();
    // Stops every worker, then waits for each one (bounded) so that nothing is deleted under a
    // running loop. Calling it again does nothing new.
    void stop_managers();
    void stop_managers(QObject* ignored);

private:
    struct Placement {
        ManagerWorker* worker;
        IQEndpointClient* session;  // not owned
    };

    int cursor_ = 0;
    QMap<QString, Placement> clients_;
    std::vector<ManagerWorker*> workers_;  // owned
};
