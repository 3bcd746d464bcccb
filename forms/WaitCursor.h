#pragma once

namespace orvelle {

// Shows the hourglass over the program's windows for its lifetime, so the
// normal cursor comes back on every way out of a command, errors included.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace orvelle
