#pragma once
// What the socket component needs of a countdown control while it waits
// without MultiThreaded (Wait, ReadLine, Flush). The control itself is a
// widget and lives above this layer; the component only holds a pointer,
// guarded by Alive(): when the control is destroyed first, every component
// that holds it sees WaitCtrl() become empty.

#include <memory>
#include <string>

class TWaitControl {
public:
    TWaitControl() = default;
    // A copy is another control: it gets a token of its own.
    TWaitControl(const TWaitControl&) : TWaitControl() { }
    TWaitControl& operator=(const TWaitControl&) { return *this; }
    virtual ~TWaitControl() = default;

    // Expires when this control is destroyed.
    std::weak_ptr<const void> Alive() const { return FAlive; }

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

private:
    std::shared_ptr<const void> FAlive = std::make_shared<int>(0);
};
