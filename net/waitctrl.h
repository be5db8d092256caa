#pragma once
// What the socket component needs of a countdown control while it waits
// without MultiThreaded (Wait, ReadLine, Flush). The control itself is a
// widget and lives above this layer; the component only holds a pointer.

#include <string>

class TWaitControl {
public:
    virtual ~TWaitControl() = default;

    // Caption: the number of seconds to count down from, as decimal text.
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Start the countdown; Stop ends it early (modal result 1).
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Running() const = 0;
    // Count down while the event loop keeps turning and user input is
    // discarded; returns when stopped (1) or when the count reaches 0 (2).
    virtual int StartModal() = 0;
};
