#pragma once

#include <QObject>
#include <QPointer>

// A link from the session layer to a widget that a view owns, seen through an interface of ours
// (the session layer has no widgets). The widget may be destroyed at any time by its owner; the
// guard then reads as null and the link is never followed again.
//
// Threads: GUI thread only, like the widgets it points at.
template <class Interface>
class GuardedLink {
public:
    GuardedLink() = default;

    // Links to `object`, which should implement Interface; null, or an object that does not
    // implement it, leaves the link inert.
    void set(QObject* object) {
        object_ = object;
        target_ = dynamic_cast<Interface*>(object);
    }
    void reset() {
        object_.clear();
        target_ = nullptr;
    }

    // The linked widget through its interface; null once it has been destroyed.
    Interface* get() const { return object_.isNull() ? nullptr : target_; }
    QObject* object() const { return target_ ? object_.data() : nullptr; }
    explicit operator bool() const { return get() != nullptr; }

private:
    QPointer<QObject> object_;
    Interface* target_ = nullptr;  // valid only while object_ is not null
};
