#pragma once

#include <chrono>
#include <functional>

#include "tests/support/deadline_factor.h"

class QDialog;

namespace test_support {

// Runs `act` on the next modal dialog once it shows, from inside its exec(), so that a test can
// fill it in and close it as the operator would. Polls the event loop; acts on nothing when no
// modal dialog shows within `deadline`.
void on_next_modal(std::function<void(QDialog*)> act,
                   std::chrono::milliseconds deadline = give_up_after(std::chrono::seconds(10)));

}  // namespace test_support
