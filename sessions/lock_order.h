#pragma once

// The sessions' one lock-order rule: a manager lock may be taken before a session mutex, never
// after, and code that holds a session mutex never sends (sending takes the manager lock). Every
// build but Release (so every build that runs the tests) counts the session mutexes each thread
// holds and ends the program with a fatal message when a send breaks the rule; Release builds
// compile the checks away.
namespace lock_order {

void session_mutex_locked();
void session_mutex_unlocked();
// Asserts that the calling thread holds no session mutex.
void assert_no_session_mutex_held(const char* where);

}  // namespace lock_order
